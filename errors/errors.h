// Run-time errors: the pending-error record, the per-statement check, reports and trap bookkeeping.
#pragma once

#include <atomic>
#include <cstdint>

// The one record every statement consults. Fields the main or timer thread also
// write (event_pending, suspend_flags, stop_requested) are atomics; the others belong
// to the program thread alone.
struct ErrorState {
    uint32_t error_number;              // pending error, 0 when none
    int32_t error_line;                 // line handed to the last check that found an error
    std::atomic<uint32_t> event_pending;  // the program thread must run the statement check
    uint32_t retry_statement;           // result of the check: run the statement again
    uint32_t retry_requested;           // set by a handler that resumes at the statement
    std::atomic<uint8_t> suspend_flags;   // bit 0 paused by the pause key, bit 1 waiting for sound
    std::atomic<uint8_t> stop_requested;  // the program must stop (window closed)
    uint32_t handler_installed;
    uint32_t in_handler;
    uint32_t handler_error_number;      // ERR
    double handler_error_label;         // ERL
    uint32_t handler_jump;
    double last_line_label;
};

inline constexpr uint8_t kSuspendPaused = 1;
inline constexpr uint8_t kSuspendSoundWait = 2;

extern ErrorState error_state;

// Records run-time error n (the first of a statement wins, n <= 0 becomes 5), or shows a
// critical error's box and ends the process. Callers return a neutral value afterwards.
void error_raise(int32_t n);

// The per-statement check: pauses, stop requests, the error report and trap dispatch.
void error_statement_check(int32_t line);

// Reports the pending error (dialog, or the handler jump when a handler is installed).
void error_report();

// Runs due event traps; this program has no handlers, so occurrences are consumed.
void event_dispatch_traps();

// Handler for the processor's arithmetic trap signal.
void error_on_arithmetic_signal(int signal_number);

// Installs error_on_arithmetic_signal for SIGFPE; the program does this on every entry.
void error_install_arithmetic_trap();

// The report text for error n ("Unprintable error" for numbers without a message).
const char* error_message(uint32_t n);

// Entry into the program's ON ERROR handler (the program is entered again from its
// start with handler_jump set). A program without handlers leaves it null, and an
// error that would enter a handler ends the process with status 99 instead.
extern void (*error_handler_entry)();

// Frequently raised error numbers.
inline constexpr int32_t kErrorIllegalFunctionCall = 5;
inline constexpr int32_t kErrorOverflow = 6;
inline constexpr int32_t kErrorOutOfMemory = 7;
inline constexpr int32_t kErrorSubscriptOutOfRange = 9;
inline constexpr int32_t kErrorDivisionByZero = 11;
inline constexpr int32_t kErrorTypeMismatch = 13;
inline constexpr int32_t kErrorBadFileNameOrNumber = 52;
inline constexpr int32_t kErrorFileNotFound = 53;
inline constexpr int32_t kErrorBadFileMode = 54;

// True when the statement must stop doing further work (an error is pending).
inline bool error_pending() { return error_state.error_number != 0; }
