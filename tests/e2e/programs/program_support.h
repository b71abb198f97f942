// Small statement forms shared by the translated test programs.
#pragma once

#include <cstdint>
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/program_protocol.h"
#include "screen/screen.h"
#include "strings/strings.h"

// One statement of the program's main unit, against the mark the prologue took.
template <typename Body>
void statement(int32_t line, Body body) {
    program_statement(program_temporary_mark, line, body);
}

// PRINT "text": the literal fitted to the line and printed with a line end.
inline void print_line(const char* text) {
    BasicString* s = string_new_literal(text, static_cast<int32_t>(std::strlen(text)));
    print_make_fit(s);
    if (error_pending()) return;
    print_string(s, 1);
}
