// Replaceable steps of the error check and report, so tests can drive them without a desktop.
#pragma once

#include <cstdint>

#include "platform/platform.h"

// Shows the report or critical-error box; platform_message_box unless replaced.
extern MessageBoxResult (*error_message_box_hook)(const char* caption, const char* text,
                                                  MessageBoxButtons buttons);

// Takes the program thread out of the process; thread_stop_program unless replaced.
// The check returns at once if a replacement comes back.
extern void (*error_stop_hook)();

// Ends the process with a status; flushes output and leaves without running exit handlers.
[[noreturn]] void error_exit_process(int status);

// Builds the caption and text of the report of error_number for a line.
struct ErrorReportText {
    char caption[48];
    char text[128];
};
ErrorReportText error_report_text(uint32_t error_number, int32_t line, bool critical);

// True for error numbers that end the process at once, with their box.
bool error_is_immediately_critical(int32_t n);

// Shows the box of such an error and ends the process with status 0; any thread.
[[noreturn]] void error_raise_critical(int32_t n);
