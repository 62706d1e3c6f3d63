// One libFuzzer target; Q2MR_FUZZ_ENTRY names the entry function it drives.
#include "entries/entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    return q2mr_fuzz::Q2MR_FUZZ_ENTRY(data, size);
}
