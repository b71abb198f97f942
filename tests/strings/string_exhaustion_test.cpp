// Exhaustion of the fixed-size conventional space ends the process with its critical error.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "frame/frame.h"
#include "string_test_support.h"

namespace {

class StringExhaustionTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

// Runs in the death-test child: no display, so the box answers on standard error.
void without_display() {
    unsetenv("DISPLAY");
    string_engine_init();
}

TEST_F(StringExhaustionTest, ConventionalSpaceFullAfterCompaction) {
    EXPECT_EXIT(
        {
            without_display();
            string_new_conventional(40000, false);
            string_new_conventional(40000, false);
        },
        ::testing::ExitedWithCode(0), "Critical Error #13\nOut of memory");
}

TEST_F(StringExhaustionTest, NoRoomForAConventionalSegmentRecord) {
    EXPECT_EXIT(
        {
            without_display();
            for (int i = 0; i < 20000; ++i) string_new_conventional(0, false);
        },
        ::testing::ExitedWithCode(0), "Critical Error #14\nOut of memory");
}

TEST_F(StringExhaustionTest, NoRoomForAnExternalSegmentRecord) {
    EXPECT_EXIT(
        {
            without_display();
            string_new_conventional(65000, true);  // the strings reach up to the records
            for (int i = 0; i < 100; ++i) string_new_external(EmulatedMemory + kDataSegmentBase + 8, 4, false);
        },
        ::testing::ExitedWithCode(0), "Critical Error #15\nOut of memory");
}

TEST_F(StringExhaustionTest, ConventionalSpaceStaysUsableUpToItsLimit) {
    string_engine_init();
    // Two values that outgrow each other relocate over and over; compaction keeps
    // closing the holes they leave.
    BasicString* a = string_new_conventional(0, false);
    BasicString* b = string_new_conventional(0, false);
    for (int length = 1; length < 3000; ++length) {
        const std::string value(static_cast<size_t>(length), static_cast<char>('a' + length % 26));
        BasicString* target = length % 2 ? a : b;
        string_assign(target, string_new_literal(value.data(), length));
        ASSERT_EQ(text_of(target), value);
        ASSERT_EQ(segment_record_of(target).length, length);
    }
    EXPECT_EQ(a->length, 2999);
    EXPECT_EQ(b->length, 2998);
    EXPECT_EQ(text_of(string_shared_space), " ");
}

}  // namespace
