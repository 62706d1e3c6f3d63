// Temporary files of a test's own: named after the test's suite, its name and the process,
// so that tests running side by side (ctest -j) never share one.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <unistd.h>

namespace q2mr_test {

inline std::string temp_path(std::string_view kind, std::string_view extension) {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = "q2mr_" + std::string(kind) + "_";
    if (test) name += std::string(test->test_suite_name()) + "." + test->name() + "_";
    name += std::to_string(::getpid()) + std::string(extension);
    for (char& c : name)
        if (c == '/') c = '_';
    return ::testing::TempDir() + name;
}

}  // namespace q2mr_test
