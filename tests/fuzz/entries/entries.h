// The fuzz entry functions: each takes one input, runs it against the code under test and
// aborts on a broken property. The libFuzzer targets and the replay test call them alike.
#pragma once

#include <cstddef>
#include <cstdint>

namespace q2mr_fuzz {

// Late-bound calls on a logged-in session and on a value record, faults injected at random.
int dispatch_input(const std::uint8_t* data, std::size_t size);
// The runtime's VariantChangeType(Ex) and one-dimensional SAFEARRAY operations.
int variant_input(const std::uint8_t* data, std::size_t size);
// The emulator's fixture loader and its SaveState round trip.
int fixture_input(const std::uint8_t* data, std::size_t size);
// The script host's value conversions through a Lua state.
int host_values_input(const std::uint8_t* data, std::size_t size);
// The cassette reader, and the emulated library replaying what it accepts.
int cassette_input(const std::uint8_t* data, std::size_t size);

}  // namespace q2mr_fuzz
