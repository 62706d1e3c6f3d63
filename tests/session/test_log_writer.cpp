// The log line's form, and a writer that never fails towards its caller.
#include <session/log_writer.h>

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string read_all(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class LogWriter : public ::testing::Test {
protected:
    std::string dir = ::testing::TempDir() + "q2mr_logwriter_" + std::to_string(::getpid());
    std::string path = dir + "/quellar2mrapilog.txt";
    void SetUp() override { ::mkdir(dir.c_str(), 0755); }
    void TearDown() override {
        ::unlink(path.c_str());
        ::unlink((dir + "/target.txt").c_str());
        ::rmdir((dir + "/sub").c_str());
        ::rmdir(dir.c_str());
    }
};

TEST_F(LogWriter, AppendsDateBlankTimeTwoBlanksTextAndCrLfOneLineAtATime) {
    quellar2mrapi::append_log_line(path.c_str(), u"Connect():");
    quellar2mrapi::append_log_line(path.c_str(), u"    caf\u00e9");
    const std::string text = read_all(path);
    const std::string stamp = quellar2mrapi::log_timestamp();
    std::regex line("([^ \r\n]+) ([^ \r\n]+)  ([^\r\n]*)\r\n");
    auto begin = std::sregex_iterator(text.begin(), text.end(), line);
    std::vector<std::string> texts;
    for (auto it = begin; it != std::sregex_iterator(); ++it) texts.push_back((*it)[3]);
    EXPECT_EQ((std::vector<std::string>{"Connect():", "    caf\xc3\xa9"}), texts);
    EXPECT_EQ(stamp.find(' '), text.find(' ')) << "the line starts with the system's date, a blank and the time";
    EXPECT_EQ(2u * (stamp.size() + 2) + 10 + 9 + 4, text.size());
}

TEST_F(LogWriter, NeverTruncatesTheFile) {
    { std::ofstream(path) << "earlier\r\n"; }
    quellar2mrapi::append_log_line(path.c_str(), u"later");
    const std::string text = read_all(path);
    EXPECT_EQ(0u, text.find("earlier\r\n"));
    EXPECT_NE(std::string::npos, text.find("  later\r\n"));
}

TEST_F(LogWriter, LosesTheLineSilentlyWhenTheFileCannotBeWritten) {
    quellar2mrapi::append_log_line((dir + "/missing/quellar2mrapilog.txt").c_str(), u"lost");
    ASSERT_EQ(0, ::mkdir((dir + "/sub").c_str(), 0755));
    quellar2mrapi::append_log_line((dir + "/sub").c_str(), u"a folder in the way");
    struct stat st {};
    EXPECT_NE(0, ::stat((dir + "/missing").c_str(), &st));
    SUCCEED() << "neither call failed towards its caller";
}

TEST_F(LogWriter, DoesNotFollowASymbolicLinkAtThePath) {
    const std::string target = dir + "/target.txt";
    { std::ofstream(target) << "precious"; }
    ASSERT_EQ(0, ::symlink(target.c_str(), path.c_str()));
    quellar2mrapi::append_log_line(path.c_str(), u"attack");
    EXPECT_EQ("precious", read_all(target));
}

}  // namespace
