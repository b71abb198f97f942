// The pending-error record, error_raise, the per-statement check and the error report.
#include "errors/errors.h"

#include <csignal>
#include <cstdio>
#include <unistd.h>

#include "display/display.h"
#include "errors/private/errors_private.h"
#include "frame/frame.h"
#include "platform/platform.h"

ErrorState error_state{};

namespace {

void stop_program_thread() { thread_stop_program(); }

constexpr uint32_t kSuspendPollMs = 10;

bool error_is_memory_block_error(uint32_t n) { return n >= 300 && n <= 313; }

}  // namespace

MessageBoxResult (*error_message_box_hook)(const char*, const char*, MessageBoxButtons) = platform_message_box;
void (*error_stop_hook)() = stop_program_thread;
void (*error_handler_entry)() = nullptr;

// _exit rather than exit: a critical error may come from any thread while the others
// still run, and the exit handlers (SDL_Quit, static destructors) would tear down state
// those threads are using. Buffered output is flushed by hand first.
void error_exit_process(int status) {
    std::fflush(nullptr);
    _exit(status);
}

void error_raise(int32_t n) {
    if (error_is_immediately_critical(n)) error_raise_critical(n);
    if (error_state.error_number != 0) return;  // the first error of a statement wins
    if (n <= 0) n = kErrorIllegalFunctionCall;
    error_state.error_number = static_cast<uint32_t>(n);
    error_state.event_pending.store(1);
}

void error_statement_check(int32_t line) {
    error_state.event_pending.store(0);
    error_state.retry_statement = 0;
    while (error_state.suspend_flags.load() != 0 || error_state.stop_requested.load() != 0) {
        if (error_state.stop_requested.load() != 0) {
            error_stop_hook();
            return;
        }
        platform_sleep_ms(kSuspendPollMs);
    }
    if (error_state.error_number == 0) {
        event_dispatch_traps();
        return;
    }
    error_state.error_line = line;
    error_report();
    if (error_state.retry_requested != 0) {
        error_state.retry_requested = 0;
        error_state.retry_statement = 1;
    }
}

void error_report() {
    const uint32_t number = error_state.error_number;
    const bool critical = error_is_memory_block_error(number);

    if (error_state.handler_installed != 0 && error_state.in_handler == 0 && !critical) {
        error_state.handler_error_number = number;
        error_state.error_number = 0;
        error_state.handler_error_label = error_state.last_line_label;
        error_state.handler_jump = 1;
        if (error_handler_entry == nullptr) error_exit_process(99);
        error_handler_entry();
        return;
    }

    const ErrorReportText report = error_report_text(number, error_state.error_line, critical);
    if (critical) {
        error_message_box_hook(report.caption, report.text, MessageBoxButtons::ok);
        error_exit_process(0);
    }

    switch (error_message_box_hook(report.caption, report.text, MessageBoxButtons::yes_no)) {
    case MessageBoxResult::yes:
        // A full-screen window may have given way to the box; bring it back.
        if (display_fullscreen_mode() != 0) platform_maximize_program_window();
        error_state.error_number = 0;
        return;
    case MessageBoxResult::no:
    case MessageBoxResult::ok:
        frame_state.exit_requested.store(1);
        error_stop_hook();
        return;
    case MessageBoxResult::failed:
        // The box could not be shown: carry on as if the user had chosen to continue.
        error_state.error_number = 0;
        return;
    }
}

void error_on_arithmetic_signal(int) { error_raise(kErrorDivisionByZero); }

void error_install_arithmetic_trap() { std::signal(SIGFPE, error_on_arithmetic_signal); }
