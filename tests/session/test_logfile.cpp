// A session built with its log writer switched on writes each line it passes to the log.
#include <component/t2mrapp.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

namespace fs = std::filesystem;
const fs::path log_dir = Q2MR_TEST_LOG_DIR;
const fs::path log_file = log_dir / "quellar2mrapilog.txt";

std::string read_all() {
    std::ifstream in(log_file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(SessionLogFile, HoldsTheConstructorAndDestructorLines) {
    fs::create_directories(log_dir);
    fs::remove(log_file);
    oa::make_self<quellar2mrapi::t2mrapp>();
    const std::string text = read_all();
    const auto first = text.find("  ============================================ debug on\r\n");
    const auto second = text.find("  Class_Initialize():\r\n");
    const auto third = text.find("  Class_Terminate():\r\n");
    ASSERT_NE(std::string::npos, first);
    ASSERT_NE(std::string::npos, second);
    ASSERT_NE(std::string::npos, third);
    EXPECT_LT(first, second);
    EXPECT_LT(second, third);
    EXPECT_EQ(text.size(), third + std::string("  Class_Terminate():\r\n").size());
}

TEST(SessionLogFile, AMissingFolderLosesTheLinesSilently) {
    fs::remove_all(log_dir);
    auto session = oa::make_self<quellar2mrapi::t2mrapp>();
    VARIANT_BOOL connected = VARIANT_TRUE;
    EXPECT_EQ(S_OK, session->get_GoodConnection(&connected));
    EXPECT_FALSE(fs::exists(log_dir));
}

}  // namespace
