// Test program: a series of INPUT statements whose values are printed back, then the
// keyboard flag byte at 0x417 with a typed line, then an INPUT that waits for ever.
#include <atomic>
#include <cstdio>
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

void say(const char* text, int32_t end_line) {
    print_bytes(reinterpret_cast<const uint8_t*>(text), static_cast<int32_t>(std::strlen(text)), end_line);
}

void say_string(const BasicString* s) { print_bytes(s->text, s->length, 0); }

// INPUT, then the stop test every INPUT of a translated program makes.
void input(int32_t count) {
    input_statement(count, 1);
    if (error_state.stop_requested.load() != 0) thread_stop_program();
}

}  // namespace

void program_main() {
    program_prologue();
    char text[128];

    BasicString* name = string_new(0, false);
    say("Name", 0);
    say("? ", 0);
    InputTargetList[1] = InputTarget{kInputTypeString, name};
    input(1);
    say("Name=[", 0);
    say_string(name);
    say("]", 1);

    int16_t number = 0;
    say("Number? ", 0);
    InputTargetList[1] = InputTarget{16, &number};
    input(1);
    std::snprintf(text, sizeof text, "Number=%d", number);
    say(text, 1);

    int16_t first = 0;
    BasicString* second = string_new(0, false);
    say("Pair? ", 0);
    InputTargetList[1] = InputTarget{16, &first};
    InputTargetList[2] = InputTarget{kInputTypeString, second};
    input(2);
    std::snprintf(text, sizeof text, "Pair=%d|", first);
    say(text, 0);
    say_string(second);
    say("|", 1);

    float single = 0;
    say("Single? ", 0);
    InputTargetList[1] = InputTarget{kInputTypeFloat | 32, &single};
    input(1);
    std::snprintf(text, sizeof text, "Single=%g", static_cast<double>(single));
    say(text, 1);

    BasicString* letters = string_new(0, false);
    say("Letters? ", 0);
    InputTargetList[1] = InputTarget{kInputTypeString, letters};
    input(1);
    uint8_t flags = std::atomic_ref<uint8_t>(EmulatedMemory[kBiosShiftFlags1]).load();
    std::snprintf(text, sizeof text, "Flags=%d Letters=", flags);
    say(text, 0);
    say_string(letters);
    say("", 1);

    BasicString* last = string_new(0, false);
    say("Wait? ", 0);
    InputTargetList[1] = InputTarget{kInputTypeString, last};
    input(1);
    say("not reached", 1);
    program_end();
}
