// What an entry that drives the emulated server directly keeps from one input to the next:
// the control object, made once from the build's registry, and a scratch folder of its own.
#pragma once

#include "input.h"

#include <emulator/emulator.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <filesystem>
#include <string>
#include <unistd.h>

#ifndef Q2MR_FUZZ_REGISTRY
#error "Q2MR_FUZZ_REGISTRY names the registry that the build writes"
#endif

namespace q2mr_fuzz {

struct emulator_world {
    oa::com_ptr<mremu::IEmulator> emulator;
    std::string folder;

    // The folder is /tmp/PREFIX_XXXXXX.
    explicit emulator_world(const std::string& prefix) {
        expect(OaSetRegistryPath(Q2MR_FUZZ_REGISTRY) == S_OK, "setup:", "registry");
        expect(CoCreateInstance(mremu::CLSID_Emulator, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                                emulator.put_void()) == S_OK,
               "setup:", "no emulator");
        std::string name = "/tmp/" + prefix + "_XXXXXX";
        expect(::mkdtemp(name.data()) != nullptr, "setup:", "no temporary folder");
        folder = name;
    }
    ~emulator_world() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    emulator_world(const emulator_world&) = delete;
    emulator_world& operator=(const emulator_world&) = delete;

    oa::unique_bstr path(const char* file) const { return oa::make_bstr(oa::ascii_to_utf16(folder + "/" + file)); }
};

}  // namespace q2mr_fuzz
