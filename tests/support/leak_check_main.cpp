// Test main that fails any test which leaves an object of this program alive.
#include <oa/implements.h>

#include <gtest/gtest.h>

namespace {
class live_object_listener : public ::testing::EmptyTestEventListener {
    long at_start_ = 0;
    void OnTestStart(const ::testing::TestInfo&) override { at_start_ = oa::module_count.load(); }
    void OnTestEnd(const ::testing::TestInfo& info) override {
        long now = oa::module_count.load();
        if (now != at_start_ && info.result()->Passed())
            ADD_FAILURE() << "the test left " << (now - at_start_) << " object(s) of this program alive";
    }
};
}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new live_object_listener);
    return RUN_ALL_TESTS();
}
