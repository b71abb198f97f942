// The protocol every translated program follows around its statements: temporaries are
// released after each one, and a waiting event runs the check with the statement's line.
#pragma once

#include <cstdint>

#include "errors/errors.h"
#include "strings/strings.h"

// Ends a statement of the unit whose temporary mark is `mark`. True when the check
// asks for the same statement to run again.
inline bool program_statement_end(int32_t mark, int32_t line) {
    string_release_temporaries(mark, 0);
    if (error_state.event_pending.load() == 0) return false;
    error_statement_check(line);
    return error_state.retry_statement != 0;
}

// Runs one statement and repeats it while the check asks for that.
template <typename Body>
void program_statement(int32_t mark, int32_t line, Body body) {
    do {
        body();
    } while (program_statement_end(mark, line));
}

// An IF or CASE test: the check runs only when the test holds or an error is pending,
// and a retry evaluates the test again. The result decides the branch.
template <typename Condition>
bool program_test(int32_t mark, int32_t line, Condition condition) {
    for (;;) {
        const bool holds = condition();
        string_release_temporaries(mark, 0);
        if (!holds && !error_pending()) return false;
        if (error_state.event_pending.load() != 0) {
            error_statement_check(line);
            if (error_state.retry_statement != 0) continue;
        }
        return holds;
    }
}

// A numeric line label: records its number for ERL and runs the check; a label is
// never repeated.
inline void program_label(double number, int32_t line) {
    error_state.last_line_label = number;
    if (error_state.event_pending.load() != 0) error_statement_check(line);
    error_state.retry_statement = 0;
}
