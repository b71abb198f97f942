// The message tables: run-time error texts and the critical errors that end the process.
#include <cstdio>
#include <cstring>

#include "errors/errors.h"
#include "errors/private/errors_private.h"

namespace {

struct ErrorMessage {
    uint32_t number;
    const char* text;
};

constexpr ErrorMessage kErrorMessages[] = {
    {1, "NEXT without FOR"},
    {2, "Syntax error"},
    {3, "RETURN without GOSUB"},
    {4, "Out of DATA"},
    {5, "Illegal function call"},
    {6, "Overflow"},
    {7, "Out of memory"},
    {8, "Label not defined"},
    {9, "Subscript out of range"},
    {10, "Duplicate definition"},
    {12, "Illegal in direct mode"},
    {13, "Type mismatch"},
    {14, "Out of string space"},
    {16, "String formula too complex"},
    {17, "Cannot continue"},
    {18, "Function not defined"},
    {19, "No RESUME"},
    {20, "RESUME without error"},
    {24, "Device timeout"},
    {25, "Device fault"},
    {26, "FOR without NEXT"},
    {27, "Out of paper"},
    {29, "WHILE without WEND"},
    {30, "WEND without WHILE"},
    {33, "Duplicate label"},
    {35, "Subprogram not defined"},
    {37, "Argument-count mismatch"},
    {38, "Array not defined"},
    {40, "Variable required"},
    {50, "FIELD overflow"},
    {51, "Internal error"},
    {52, "Bad file name or number"},
    {53, "File not found"},
    {54, "Bad file mode"},
    {55, "File already open"},
    {56, "FIELD statement active"},
    {57, "Device I/O error"},
    {58, "File already exists"},
    {59, "Bad record length"},
    {61, "Disk full"},
    {62, "Input past end of file"},
    {63, "Bad record number"},
    {64, "Bad file name"},
    {67, "Too many files"},
    {68, "Device unavailable"},
    {69, "Communication-buffer overflow"},
    {70, "Permission denied"},
    {71, "Disk not ready"},
    {72, "Disk-media error"},
    {73, "Feature unavailable"},
    {74, "Rename across disks"},
    {75, "Path/File access error"},
    {76, "Path not found"},
    {258, "Invalid handle"},
    {300, "Memory region out of range"},
    {301, "Invalid size"},
    {302, "Source memory region out of range"},
    {303, "Destination memory region out of range"},
    {304, "Source and destination memory regions out of range"},
    {305, "Source memory has been freed"},
    {306, "Destination memory has been freed"},
    {307, "Memory already freed"},
    {308, "Memory has been freed"},
    {309, "Memory not initialized"},
    {310, "Source memory not initialized"},
    {311, "Destination memory not initialized"},
    {312, "Source and destination memory not initialized"},
    {313, "Source and destination memory have been freed"},
};

constexpr const char* kUnprintableError = "Unprintable error";

// Errors that show their box and end the process the moment they are raised.
// A numbered caption carries "#" and (number - caption_base).
struct CriticalError {
    int32_t first;
    int32_t last;
    bool numbered;
    int32_t caption_base;
    const char* text;
};

constexpr CriticalError kCriticalErrors[] = {
    {11, 11, false, 0, "Division by zero"},
    {256, 256, false, 0, "Out of stack space"},
    {257, 257, true, 256, "Out of memory"},
    {259, 259, false, 0, "Cannot find dynamic library file"},
    {260, 261, false, 0, "Sub/Function does not exist in dynamic library"},
    {502, 518, true, 500, "Out of memory"},
};

const CriticalError* critical_entry(int32_t n) {
    for (const CriticalError& entry : kCriticalErrors) {
        if (n >= entry.first && n <= entry.last) return &entry;
    }
    return nullptr;
}

}  // namespace

const char* error_message(uint32_t n) {
    if (n == 0) return kUnprintableError;
    for (const ErrorMessage& entry : kErrorMessages) {
        if (entry.number == n) return entry.text;
    }
    return kUnprintableError;
}

bool error_is_immediately_critical(int32_t n) { return critical_entry(n) != nullptr; }

// Shows the box of an immediately critical error and ends the process with status 0.
[[noreturn]] void error_raise_critical(int32_t n) {
    const CriticalError* entry = critical_entry(n);
    char caption[48];
    if (entry->numbered) {
        std::snprintf(caption, sizeof caption, "Critical Error #%d", n - entry->caption_base);
    } else {
        std::snprintf(caption, sizeof caption, "Critical Error");
    }
    error_message_box_hook(caption, entry->text, MessageBoxButtons::ok);
    error_exit_process(0);
}

ErrorReportText error_report_text(uint32_t error_number, int32_t line, bool critical) {
    ErrorReportText report{};
    std::snprintf(report.caption, sizeof report.caption, "%s #%u",
                  critical ? "Critical Error" : "Unhandled Error", error_number);
    std::snprintf(report.text, sizeof report.text, "Line:%d\n%s%s", line, error_message(error_number),
                  critical ? "" : "\nContinue?");
    return report;
}
