// The emulator's fixture loader: the input is written to a file and loaded. A refused
// fixture must leave the servers as they were and name a loader failure; an accepted one
// must survive SaveState, load again, and save again to the very same text.
#include "entries.h"
#include "emulator_world.h"

#include <emulator/emulator.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>

namespace q2mr_fuzz {

namespace {

emulator_world& the_loader() {
    static emulator_world w("q2mr_fixture");
    return w;
}

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

int fixture_input(const std::uint8_t* data, std::size_t size) {
    emulator_world& w = the_loader();
    mremu::IEmulator* emu = w.emulator.get();
    const auto input_path = w.path("input.json"), before = w.path("before.json"), first = w.path("first.json"),
               second = w.path("second.json");
    {
        std::ofstream out(w.folder + "/input.json", std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    expect(emu->Reset() == S_OK, "Reset", "failed");
    expect(emu->SaveState(before.get()) == S_OK, "SaveState", "of the default server failed");

    const HRESULT hr = emu->LoadFixture(input_path.get());
    if (FAILED(hr)) {
        expect(hr == mremu::errors::bad_json || hr == mremu::errors::schema_error || hr == mremu::errors::file_missing,
               "LoadFixture", "refused a fixture with another code than a loader failure");
        expect(emu->SaveState(first.get()) == S_OK, "SaveState", "after a refused fixture failed");
        expect(read_all(w.folder + "/first.json") == read_all(w.folder + "/before.json"), "a refused fixture",
               "changed the servers");
        return 0;
    }
    expect(hr == S_OK, "LoadFixture", "answered a success code other than S_OK");
    expect(emu->SaveState(first.get()) == S_OK, "SaveState", "of a loaded fixture failed");
    if (emu->LoadFixture(first.get()) != S_OK) broken("SaveState", "wrote a fixture that does not load");
    expect(emu->SaveState(second.get()) == S_OK, "SaveState", "of a reloaded fixture failed");
    expect(read_all(w.folder + "/first.json") == read_all(w.folder + "/second.json"), "SaveState",
           "round trip changed the servers");
    return 0;
}

}  // namespace q2mr_fuzz
