// Every kept fuzz input, the seed corpus and the regressions of crashes and leaks found,
// runs through the same entry function as its libFuzzer target. An entry aborts on a
// broken property, so a regression that comes back fails this test.
#include "entries/entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using entry = int (*)(const std::uint8_t*, std::size_t);

std::vector<fs::path> inputs_of(const std::string& target) {
    std::vector<fs::path> files;
    for (const char* kind : {"corpus", "regressions"}) {
        const fs::path folder = fs::path(Q2MR_FUZZ_INPUTS) / kind / target;
        if (!fs::is_directory(folder)) continue;
        for (const auto& e : fs::directory_iterator(folder))
            if (e.is_regular_file() && e.path().filename().string()[0] != '.') files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Runs every input of the target; returns how many ran.
std::size_t replay(const std::string& target, entry run) {
    const auto files = inputs_of(target);
    for (const auto& file : files) {
        std::ifstream in(file, std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // Named before the run: an entry that finds a broken property aborts the process.
        std::fprintf(stderr, "replaying %s\n", file.c_str());
        EXPECT_EQ(0, run(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size())) << file;
    }
    return files.size();
}

TEST(FuzzReplay, DispatchInputs) { EXPECT_GT(replay("dispatch", &q2mr_fuzz::dispatch_input), 0u); }
TEST(FuzzReplay, VariantInputs) { EXPECT_GT(replay("variant", &q2mr_fuzz::variant_input), 0u); }
TEST(FuzzReplay, FixtureInputs) { EXPECT_GT(replay("fixture", &q2mr_fuzz::fixture_input), 0u); }
TEST(FuzzReplay, HostValueInputs) { EXPECT_GT(replay("host_values", &q2mr_fuzz::host_values_input), 0u); }
TEST(FuzzReplay, CassetteInputs) { EXPECT_GT(replay("cassette", &q2mr_fuzz::cassette_input), 0u); }

}  // namespace
