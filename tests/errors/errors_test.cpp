// Error raising, the per-statement check, the report dialog's answers and critical exits.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "errors/errors.h"
#include "errors/private/errors_private.h"
#include "frame/frame.h"

// Test binaries have no translated program; the runtime's program thread is never started.
__attribute__((weak)) void program_main() {}

namespace {

struct BoxCall {
    std::string caption;
    std::string text;
    MessageBoxButtons buttons;
};

std::vector<BoxCall> box_calls;
MessageBoxResult box_answer = MessageBoxResult::yes;
int stop_calls = 0;
int handler_entries = 0;

MessageBoxResult recording_box(const char* caption, const char* text, MessageBoxButtons buttons) {
    box_calls.push_back({caption, text, buttons});
    return box_answer;
}

void recording_stop() { ++stop_calls; }
void recording_handler_entry() { ++handler_entries; }

void reset_error_state() {
    error_state.error_number = 0;
    error_state.error_line = 0;
    error_state.event_pending.store(0);
    error_state.retry_statement = 0;
    error_state.retry_requested = 0;
    error_state.suspend_flags.store(0);
    error_state.stop_requested.store(0);
    error_state.handler_installed = 0;
    error_state.in_handler = 0;
    error_state.handler_error_number = 0;
    error_state.handler_error_label = 0;
    error_state.handler_jump = 0;
    error_state.last_line_label = 0;
}

class ErrorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        reset_error_state();
        frame_state.exit_requested.store(0);
        box_calls.clear();
        box_answer = MessageBoxResult::yes;
        stop_calls = 0;
        handler_entries = 0;
        saved_box_ = error_message_box_hook;
        saved_stop_ = error_stop_hook;
        error_message_box_hook = recording_box;
        error_stop_hook = recording_stop;
    }
    void TearDown() override {
        error_message_box_hook = saved_box_;
        error_stop_hook = saved_stop_;
        error_handler_entry = nullptr;
        reset_error_state();
        frame_state.exit_requested.store(0);
    }

    // A critical path ends the process; with no desktop its box goes to standard error.
    static void use_console_box() {
        unsetenv("DISPLAY");
        error_message_box_hook = platform_message_box;
    }

private:
    MessageBoxResult (*saved_box_)(const char*, const char*, MessageBoxButtons) = nullptr;
    void (*saved_stop_)() = nullptr;
};

// ---- error_raise ----------------------------------------------------------------------

TEST_F(ErrorsTest, RaiseRecordsErrorAndAsksForCheck) {
    error_raise(53);
    EXPECT_EQ(error_state.error_number, 53u);
    EXPECT_EQ(error_state.event_pending.load(), 1u);
    EXPECT_TRUE(error_pending());
}

TEST_F(ErrorsTest, FirstErrorOfStatementWins) {
    error_raise(62);
    error_raise(5);
    error_raise(-1);
    EXPECT_EQ(error_state.error_number, 62u);

    error_statement_check(300);
    ASSERT_EQ(box_calls.size(), 1u);
    EXPECT_EQ(box_calls[0].text, "Line:300\nInput past end of file\nContinue?");
}

TEST_F(ErrorsTest, NonPositiveNumbersBecomeIllegalFunctionCall) {
    for (int32_t n : {0, -3, -1, INT32_MIN}) {
        reset_error_state();
        error_raise(n);
        EXPECT_EQ(error_state.error_number, 5u) << "raised " << n;
    }
}

TEST_F(ErrorsTest, MemoryBlockErrorsAreRecordedNotEndedAtOnce) {
    error_raise(300);
    EXPECT_EQ(error_state.error_number, 300u);
}

// ---- messages and report text ----------------------------------------------------------

TEST(ErrorMessages, LookupCoversTableAndUnknownNumbers) {
    struct Case {
        uint32_t number;
        const char* message;
    };
    const Case cases[] = {
        {1, "NEXT without FOR"},
        {5, "Illegal function call"},
        {7, "Out of memory"},
        {16, "String formula too complex"},
        {40, "Variable required"},
        {53, "File not found"},
        {69, "Communication-buffer overflow"},
        {75, "Path/File access error"},
        {76, "Path not found"},
        {258, "Invalid handle"},
        {304, "Source and destination memory regions out of range"},
        {313, "Source and destination memory have been freed"},
        // Numbers without a message, including the critical ones and gaps in the table.
        {0, "Unprintable error"},
        {11, "Unprintable error"},
        {15, "Unprintable error"},
        {77, "Unprintable error"},
        {257, "Unprintable error"},
        {314, "Unprintable error"},
        {4000000000u, "Unprintable error"},
    };
    for (const Case& c : cases) EXPECT_STREQ(error_message(c.number), c.message) << "error " << c.number;
}

TEST(ErrorMessages, ReportTextNamesLineAndAsksToContinue) {
    struct Case {
        uint32_t number;
        int32_t line;
        bool critical;
        const char* caption;
        const char* text;
    };
    const Case cases[] = {
        {53, 120, false, "Unhandled Error #53", "Line:120\nFile not found\nContinue?"},
        {999, 7, false, "Unhandled Error #999", "Line:7\nUnprintable error\nContinue?"},
        {5, -2, false, "Unhandled Error #5", "Line:-2\nIllegal function call\nContinue?"},
        {300, 40, true, "Critical Error #300", "Line:40\nMemory region out of range"},
    };
    for (const Case& c : cases) {
        const ErrorReportText report = error_report_text(c.number, c.line, c.critical);
        EXPECT_STREQ(report.caption, c.caption);
        EXPECT_STREQ(report.text, c.text);
    }
}

// ---- the statement check -----------------------------------------------------------------

TEST_F(ErrorsTest, CheckWithoutErrorClearsFlagsAndShowsNothing) {
    error_state.event_pending.store(1);
    error_state.retry_statement = 1;
    error_statement_check(10);
    EXPECT_EQ(error_state.event_pending.load(), 0u);
    EXPECT_EQ(error_state.retry_statement, 0u);
    EXPECT_TRUE(box_calls.empty());
    EXPECT_EQ(stop_calls, 0);
}

TEST_F(ErrorsTest, YesContinuesWithNextStatement) {
    box_answer = MessageBoxResult::yes;
    error_raise(53);
    error_statement_check(120);

    ASSERT_EQ(box_calls.size(), 1u);
    EXPECT_EQ(box_calls[0].caption, "Unhandled Error #53");
    EXPECT_EQ(box_calls[0].text, "Line:120\nFile not found\nContinue?");
    EXPECT_EQ(box_calls[0].buttons, MessageBoxButtons::yes_no);
    EXPECT_EQ(error_state.error_number, 0u);
    EXPECT_EQ(error_state.error_line, 120);
    EXPECT_EQ(error_state.retry_statement, 0u);  // the failing statement is not repeated
    EXPECT_EQ(error_state.event_pending.load(), 0u);
    EXPECT_EQ(frame_state.exit_requested.load(), 0u);
    EXPECT_EQ(stop_calls, 0);

    // The next statement's error is reported afresh.
    error_raise(54);
    error_statement_check(130);
    ASSERT_EQ(box_calls.size(), 2u);
    EXPECT_EQ(box_calls[1].caption, "Unhandled Error #54");
}

TEST_F(ErrorsTest, NoOrOkStopsTheProgram) {
    for (MessageBoxResult answer : {MessageBoxResult::no, MessageBoxResult::ok}) {
        reset_error_state();
        frame_state.exit_requested.store(0);
        stop_calls = 0;
        box_answer = answer;
        error_raise(53);
        error_statement_check(120);
        EXPECT_EQ(frame_state.exit_requested.load(), 1u);
        EXPECT_EQ(stop_calls, 1);
    }
}

TEST_F(ErrorsTest, BoxThatFailsToAppearContinues) {
    box_answer = MessageBoxResult::failed;
    error_raise(53);
    error_statement_check(120);
    EXPECT_EQ(error_state.error_number, 0u);
    EXPECT_EQ(frame_state.exit_requested.load(), 0u);
    EXPECT_EQ(stop_calls, 0);
}

TEST_F(ErrorsTest, RetryRequestBecomesRetryStatement) {
    error_state.retry_requested = 1;
    error_raise(53);
    error_statement_check(120);
    EXPECT_EQ(error_state.retry_statement, 1u);
    EXPECT_EQ(error_state.retry_requested, 0u);
}

TEST_F(ErrorsTest, StopRequestStopsBeforeReporting) {
    error_raise(53);
    error_state.stop_requested.store(1);
    error_statement_check(120);
    EXPECT_EQ(stop_calls, 1);
    EXPECT_TRUE(box_calls.empty());
}

TEST_F(ErrorsTest, PausedProgramWaitsUntilBitIsCleared) {
    error_state.suspend_flags.store(kSuspendPaused);
    error_state.event_pending.store(1);
    const auto start = std::chrono::steady_clock::now();
    std::thread resumer([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        error_state.suspend_flags.store(0);
    });
    error_statement_check(10);
    const auto waited = std::chrono::steady_clock::now() - start;
    resumer.join();
    EXPECT_GE(waited, std::chrono::milliseconds(55));
    EXPECT_EQ(stop_calls, 0);
}

TEST_F(ErrorsTest, SoundWaitHoldsTheProgramToo) {
    error_state.suspend_flags.store(kSuspendSoundWait);
    std::thread resumer([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        error_state.suspend_flags.fetch_and(static_cast<uint8_t>(~kSuspendSoundWait));
    });
    error_statement_check(10);
    resumer.join();
    EXPECT_EQ(error_state.suspend_flags.load(), 0u);
}

TEST_F(ErrorsTest, StopDuringPauseStopsTheProgram) {
    error_state.suspend_flags.store(kSuspendPaused);
    error_raise(53);
    std::thread closer([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        error_state.stop_requested.store(1);
    });
    error_statement_check(10);
    closer.join();
    EXPECT_EQ(stop_calls, 1);
    EXPECT_TRUE(box_calls.empty());
}

// ---- error handlers -------------------------------------------------------------------

TEST_F(ErrorsTest, InstalledHandlerIsEnteredInsteadOfTheBox) {
    error_state.handler_installed = 1;
    error_state.last_line_label = 40;
    error_handler_entry = recording_handler_entry;
    error_raise(53);
    error_statement_check(120);
    EXPECT_TRUE(box_calls.empty());
    EXPECT_EQ(handler_entries, 1);
    EXPECT_EQ(error_state.handler_error_number, 53u);
    EXPECT_EQ(error_state.handler_error_label, 40.0);
    EXPECT_EQ(error_state.handler_jump, 1u);
    EXPECT_EQ(error_state.error_number, 0u);
}

TEST_F(ErrorsTest, ErrorInsideHandlerIsReportedByBox) {
    error_state.handler_installed = 1;
    error_state.in_handler = 1;
    error_handler_entry = recording_handler_entry;
    error_raise(53);
    error_statement_check(120);
    EXPECT_EQ(handler_entries, 0);
    EXPECT_EQ(box_calls.size(), 1u);
}

using ErrorsDeathTest = ErrorsTest;

TEST_F(ErrorsDeathTest, HandlerJumpWithoutHandlerEndsWith99) {
    error_state.handler_installed = 1;
    error_raise(53);
    EXPECT_EXIT(error_statement_check(120), ::testing::ExitedWithCode(99), "");
}

// ---- critical errors --------------------------------------------------------------------

TEST_F(ErrorsDeathTest, CriticalErrorsShowTheirBoxAndExitZero) {
    struct Case {
        int32_t number;
        const char* expected;  // caption line, then the text
    };
    const Case cases[] = {
        {11, "Critical Error\nDivision by zero"},
        {256, "Critical Error\nOut of stack space"},
        {257, "Critical Error #1\nOut of memory"},
        {259, "Critical Error\nCannot find dynamic library file"},
        {260, "Critical Error\nSub/Function does not exist in dynamic library"},
        {261, "Critical Error\nSub/Function does not exist in dynamic library"},
        {502, "Critical Error #2\nOut of memory"},
        {516, "Critical Error #16\nOut of memory"},
        {518, "Critical Error #18\nOut of memory"},
    };
    for (const Case& c : cases) {
        EXPECT_EXIT(
            {
                use_console_box();
                error_raise(c.number);
            },
            ::testing::ExitedWithCode(0), std::string("^") + c.expected + "\n$")
            << "error " << c.number;
    }
}

TEST_F(ErrorsDeathTest, CriticalErrorEndsEvenWithAnErrorPending) {
    error_raise(53);
    EXPECT_EXIT(
        {
            use_console_box();
            error_raise(516);
        },
        ::testing::ExitedWithCode(0), "Critical Error #16");
}

TEST_F(ErrorsDeathTest, CriticalErrorEndsTheProcessFromAnyThread) {
    EXPECT_EXIT(
        {
            use_console_box();
            std::thread other([] { error_raise(257); });
            other.join();
            std::_Exit(3);  // not reached: the other thread ended the process
        },
        ::testing::ExitedWithCode(0), "^Critical Error #1\nOut of memory\n$");
}

TEST_F(ErrorsDeathTest, MemoryBlockErrorReportedAsCriticalAtTheCheck) {
    error_state.handler_installed = 1;  // a handler does not catch it
    error_raise(300);
    EXPECT_EXIT(
        {
            use_console_box();
            error_statement_check(40);
        },
        ::testing::ExitedWithCode(0), "^Critical Error #300\nLine:40\nMemory region out of range\n$");
}

TEST_F(ErrorsDeathTest, ArithmeticTrapEndsInDivisionByZero) {
    EXPECT_EXIT(
        {
            use_console_box();
            error_install_arithmetic_trap();
            std::raise(SIGFPE);
        },
        ::testing::ExitedWithCode(0), "^Critical Error\nDivision by zero\n$");
}

TEST(ErrorsNoDesktop, ReportAnswersNoAndStops) {
    // With no desktop the real box writes to standard error and answers No.
    unsetenv("DISPLAY");
    int stops = 0;
    static int* stops_seen = &stops;
    void (*saved)() = error_stop_hook;
    error_stop_hook = [] { ++*stops_seen; };
    reset_error_state();
    frame_state.exit_requested.store(0);
    ::testing::internal::CaptureStderr();
    error_raise(53);
    error_statement_check(120);
    const std::string err = ::testing::internal::GetCapturedStderr();
    error_stop_hook = saved;
    EXPECT_EQ(err, "Unhandled Error #53\nLine:120\nFile not found\nContinue?\n");
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(frame_state.exit_requested.load(), 1u);
    reset_error_state();
    frame_state.exit_requested.store(0);
}

}  // namespace
