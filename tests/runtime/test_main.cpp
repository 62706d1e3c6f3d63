// The runtime tests never touch the user's registry: before any test runs, the default
// registry place is pointed at a scratch folder that is removed afterwards.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    char dir_template[] = "/tmp/oleauto-test-XXXXXX";
    const char* dir = ::mkdtemp(dir_template);
    if (!dir) return 1;
    const std::string registry = std::string(dir) + "/registry";
    ::setenv("OLEAUTO_REGISTRY", registry.c_str(), 1);
    const int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
