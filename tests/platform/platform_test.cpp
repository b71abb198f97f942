// The Linux stand-ins for the Windows calls, as they behave on a machine without a desktop.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace {

// Unit tests never talk to a desktop, even when one is around.
class NoDesktop : public ::testing::Environment {
public:
    void SetUp() override { unsetenv("DISPLAY"); }
};
const auto* const no_desktop = ::testing::AddGlobalTestEnvironment(new NoDesktop);

TEST(PlatformMessageBox, WithoutDesktopWritesToStandardErrorAndAnswersSafely) {
    struct Case {
        MessageBoxButtons buttons;
        MessageBoxResult answer;
    };
    for (const Case& c : {Case{MessageBoxButtons::yes_no, MessageBoxResult::no},
                          Case{MessageBoxButtons::ok, MessageBoxResult::ok}}) {
        ::testing::internal::CaptureStderr();
        const MessageBoxResult result = platform_message_box("Unhandled Error #53", "Line:120\nFile not found\nContinue?", c.buttons);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Unhandled Error #53\nLine:120\nFile not found\nContinue?\n");
        EXPECT_EQ(result, c.answer);
    }
}

TEST(PlatformMessageBox, UnreachableDesktopFallsBackToStandardError) {
    setenv("DISPLAY", ":9917", 1);
    ::testing::internal::CaptureStderr();
    const MessageBoxResult result = platform_message_box("Critical Error #16", "Out of memory", MessageBoxButtons::ok);
    const std::string err = ::testing::internal::GetCapturedStderr();
    unsetenv("DISPLAY");
    EXPECT_EQ(result, MessageBoxResult::ok);
    EXPECT_EQ(err, "Critical Error #16\nOut of memory\n");
}

TEST(PlatformMessageBox, NullTextsAreEmpty) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(platform_message_box(nullptr, nullptr, MessageBoxButtons::ok), MessageBoxResult::ok);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "\n\n");
}

TEST(PlatformKeyState, WithoutDesktopEveryKeyIsUpAndUnlocked) {
    unsetenv("DISPLAY");
    for (PlatformKey key : {PlatformKey::scroll_lock, PlatformKey::caps_lock, PlatformKey::num_lock,
                            PlatformKey::left_shift, PlatformKey::right_shift, PlatformKey::left_ctrl,
                            PlatformKey::right_ctrl, PlatformKey::left_alt, PlatformKey::right_alt}) {
        const PlatformKeyState state = platform_key_state(key);
        EXPECT_FALSE(state.held) << static_cast<int>(key);
        EXPECT_FALSE(state.toggled) << static_cast<int>(key);
        EXPECT_FALSE(state.known) << static_cast<int>(key);
    }
}

TEST(PlatformModulePath, NamesThisExecutable) {
    const std::string path = platform_module_path();
    ASSERT_FALSE(path.empty());
    EXPECT_EQ(path.front(), '/');
    EXPECT_EQ(path.substr(path.find_last_of('/') + 1), "test_platform");
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0);
}

// A zero wait is what INKEY$ and other polls use as a yield: it must really sleep, or a
// loop built on it keeps a core busy.
TEST(PlatformSleep, SleepsAtLeastTheDurationAndZeroSleepsAMillisecond) {
    using clock = std::chrono::steady_clock;
    auto start = clock::now();
    platform_sleep_ms(25);
    EXPECT_GE(clock::now() - start, std::chrono::milliseconds(25));

    start = clock::now();
    for (int i = 0; i < 20; ++i) platform_sleep_ms(0);
    const auto elapsed = clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(20));
    EXPECT_LT(elapsed, std::chrono::milliseconds(500));
}

}  // namespace
