// The INPUT line editor: reads keys, echoes them, checks every keystroke against the
// targets' types, takes invalid keystrokes back and stores the values while typing.
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "display/display.h"
#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "graphics/graphics.h"
#include "keyboard/keyboard.h"
#include "keyboard/private/input_state.h"
#include "platform/platform.h"
#include "screen/screen.h"
#include "strings/strings.h"

InputTarget InputTargetList[kInputTargetCapacity + 1];
void (*input_wait_hook)() = nullptr;

namespace {

constexpr int32_t kLineLimit = 255;
constexpr uint32_t kLineModeTypeWord = 0xFFFFFE00;
constexpr int32_t kKeyPollMs = 10;

struct LineBuffer {
    uint8_t text[kLineLimit + 1];
    int32_t length;
};

// Working state of one INPUT statement.
struct InputSession {
    int32_t count;
    uint32_t type_word[kInputTargetCapacity + 1];
    LineBuffer line;
    LineBuffer accepted;
    int32_t pending_spaces;
    int32_t snapshot;             // image handles of the two copies of the destination
    int32_t scratch;
    int16_t saved_cursor_x;
    int16_t saved_cursor_y;
    uint8_t saved_wrap_state;
    uint8_t saved_cursor_visible;
    int32_t saved_auto_display;
    int32_t saved_source;
    int32_t temporary_mark;
    bool line_mode;
    bool cursor_drawn;            // the graphics cursor is on the picture
};

ImageRecord* destination_record() {
    int32_t handle = image_get_destination();
    return image_record(-handle);
}

ImageRecord* handle_record(int32_t handle) { return image_record(-handle); }

InputTarget session_target(const InputSession& s, int32_t index) {
    return InputTarget{s.type_word[index], InputTargetList[index].target};
}

// Splits the line into fields and checks the last one against its target.
bool input_check_line(InputSession& s) {
    const LineBuffer& line = s.line;
    uint8_t field[kLineLimit + 1];
    int32_t field_length = 0;
    int32_t field_index = 1;
    bool field_start = true;
    int quote = 0;  // 0 outside quotes, 1 inside, 2 after the closing quote
    for (int32_t i = 0; i < line.length; ++i) {
        uint8_t c = line.text[i];
        if (!s.line_mode && c == ',' && quote != 1) {
            ++field_index;
            if (field_index > s.count) return false;  // too many fields
            field_length = 0;
            field_start = true;
            quote = 0;
            continue;
        }
        if (!s.line_mode && c == '"') {
            if (quote == 0 && field_start) {
                quote = 1;
                continue;
            }
            if (quote == 1) {
                quote = 2;
                continue;
            }
        }
        if (quote == 2) return false;
        field[field_length++] = c;
        field_start = false;
    }
    return input_validate_field(field, field_length, session_target(s, field_index));
}

// Copies every cell or pixel of one image into another of the same size. Cells go
// through the atomic cell store because the display loop may be showing the target.
void copy_image_contents(const ImageRecord* from, ImageRecord* to) {
    if (from->width != to->width || from->height != to->height ||
        from->bytes_per_pixel != to->bytes_per_pixel || from->pixels == nullptr || to->pixels == nullptr) {
        return;
    }
    size_t bytes = static_cast<size_t>(from->width) * from->height * from->bytes_per_pixel;
    if (to->is_text) {
        for (size_t i = 0; i + 1 < bytes; i += 2) {
            screen_cell_store(to->pixels + i, screen_cell_load(from->pixels + i));
        }
    } else {
        std::memcpy(to->pixels, from->pixels, bytes);
    }
}

// Puts the picture back as it was when INPUT began and prints the line again, so a
// taken-back keystroke leaves no trace (scrolling included).
void input_redraw_session(InputSession& s) {
    int32_t destination = image_get_destination();
    ImageRecord* scratch = handle_record(s.scratch);
    copy_image_contents(handle_record(s.snapshot), scratch);
    image_set_destination(s.scratch);
    scratch->cursor_x = s.saved_cursor_x;
    scratch->cursor_y = s.saved_cursor_y;
    scratch->wrap_state = s.saved_wrap_state;
    for (int32_t i = 0; i < s.line.length; ++i) print_bytes(&s.line.text[i], 1, 0);
    image_set_destination(destination);
    ImageRecord* target = handle_record(destination);
    copy_image_contents(scratch, target);
    image_field_store(target->cursor_x, scratch->cursor_x);
    image_field_store(target->cursor_y, scratch->cursor_y);
    // The held-on-last-column state belongs to the cursor position just restored.
    image_field_store(target->wrap_state, scratch->wrap_state);
}

uint32_t blink_clock_ms() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// Inverts the cursor cell of a graphics destination; drawing twice restores it.
void graphics_cursor_flip(ImageRecord* image) {
    uint8_t saved_no_blend = image->no_blend;
    image->no_blend = 1;
    int32_t font = image->font;
    bool thin = font > 31 || image->mode == 256 || image->mode == 32;
    int32_t h = font_cell_height(font);
    int32_t w = font_cell_width(font);
    if (w == 0) w = 1;
    int32_t bar = thin ? 1 : w;
    int32_t y0 = (image->cursor_y - 1) * h;
    int32_t x0 = (image->cursor_x - 1) * w;
    for (int32_t y = y0; y < y0 + h; ++y) {
        if (y < 0 || y >= image->height) continue;
        for (int32_t x = x0; x < x0 + bar; ++x) {
            if (x < 0 || x >= image->width) continue;
            graphics_write_pixel(x, y, graphics_read_pixel(x, y) ^ image->fg_color);
        }
    }
    image->no_blend = saved_no_blend;
}

void graphics_cursor_update(InputSession& s, bool want_shown) {
    ImageRecord* image = destination_record();
    bool shown = want_shown;
    if (shown && (image->font > 31 || image->mode == 256 || image->mode == 32)) {
        shown = (blink_clock_ms() & 0x200) == 0;
    }
    if (shown != s.cursor_drawn) {
        s.cursor_drawn = shown;
        graphics_cursor_flip(image);
    }
}

// One byte from standard input without waiting; -1 when none is ready or input ended.
int read_console_byte() {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    if (poll(&fd, 1, 0) <= 0 || !(fd.revents & (POLLIN | POLLHUP))) return -1;
    uint8_t byte = 0;
    if (read(STDIN_FILENO, &byte, 1) != 1) return -1;
    return byte == 10 ? 13 : byte;
}

// Waits for one single-character key. False when the program must stop.
bool input_read_key(InputSession& s, uint8_t& key) {
    ImageRecord* image = destination_record();
    bool graphics = !image->is_text;
    for (;;) {
        if (graphics) graphics_cursor_update(s, true);
        int32_t character = -1;
        if (s.pending_spaces > 0) {
            --s.pending_spaces;
            character = ' ';
        } else if (image->is_console) {
            character = read_console_byte();
            if (character < 0) platform_sleep_ms(kKeyPollMs);
        } else {
            if (input_wait_hook != nullptr) {
                input_wait_hook();
            } else {
                platform_sleep_ms(kKeyPollMs);
            }
            BasicString* typed = key_inkey();
            if (typed->length == 1) character = typed->text[0];
        }
        string_release_temporaries(s.temporary_mark, 0);
        if (error_state.stop_requested.load()) return false;
        if (character >= 0) {
            key = static_cast<uint8_t>(character);
            break;
        }
    }
    if (graphics && s.cursor_drawn) graphics_cursor_update(s, false);
    return true;
}

void input_finish(InputSession& s, uint8_t newline) {
    ImageRecord* image = destination_record();
    if (newline == 1 && !image->is_console) print_string(string_shared_empty, 1);
    image_field_store(image->cursor_visible, s.saved_cursor_visible);
    image_free(s.snapshot, 1);
    image_free(s.scratch, 1);
    if (s.saved_auto_display == 0) {
        // Let the display loop present the finished line before going manual again.
        AutoDisplay.store(-1);
        while (AutoDisplay.load() != 0 && !error_state.stop_requested.load()) platform_sleep_ms(1);
    }
    image_set_source(s.saved_source);
}

InputSession session;

}  // namespace

void input_redraw() { input_redraw_session(session); }

int32_t input_line_copy(uint8_t* out) {
    std::memcpy(out, session.line.text, static_cast<size_t>(session.line.length));
    return session.line.length;
}

void input_statement(int32_t count, uint8_t newline) {
    if (error_pending()) return;
    if (count < 1 || count > kInputTargetCapacity) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    InputSession& s = session;
    s = InputSession{};
    s.count = count;
    s.saved_auto_display = AutoDisplay.exchange(1);
    s.saved_source = image_get_source();
    image_set_source(image_get_destination());

    // Copies are image numbers 2 and up (handles -2 and below); -1 means memory ran out,
    // 0 that an error is already pending.
    s.snapshot = image_copy(image_get_destination(), 1);
    if (s.snapshot >= -1) {
        if (s.snapshot == -1) error_raise(516);
        return;
    }
    s.scratch = image_copy(image_get_destination(), 1);
    if (s.scratch >= -1) {
        if (s.scratch == -1) error_raise(517);
        image_free(s.snapshot, 1);
        return;
    }
    ImageRecord* image = destination_record();
    s.saved_cursor_x = image->cursor_x;
    s.saved_cursor_y = image->cursor_y;
    s.saved_wrap_state = image->wrap_state;
    s.temporary_mark = string_temporary_mark();

    for (int32_t i = 1; i <= count; ++i) s.type_word[i] = InputTargetList[i].type_word;
    uint32_t first = s.type_word[1];
    if ((first & kInputTypeString) && (first & kInputTypeLineMode)) {
        s.line_mode = true;
        s.type_word[1] = kLineModeTypeWord;
    }
    s.saved_cursor_visible = image->cursor_visible;
    image_field_store(image->cursor_visible, uint8_t{1});

    for (int32_t i = 1; i <= count; ++i) {
        InputTarget target = session_target(s, i);
        if (target.type_word & kInputTypeString) {
            if (target.target != nullptr) {
                string_assign(static_cast<BasicString*>(target.target), string_new(0, true));
            }
        } else {
            // An empty field clears a numeric target unless it must not be written.
            input_validate_field(nullptr, 0, target);
        }
    }

    enum class Step { check, read, take_back, end };
    Step step = Step::check;
    uint8_t key = 0;
    while (step != Step::end) {
        switch (step) {
        case Step::check:
            if (input_check_line(s)) {
                s.accepted = s.line;
                step = Step::read;
            } else {
                step = Step::take_back;
            }
            break;
        case Step::read:
            if (!input_read_key(s, key)) return;  // stop request: the thread ends next
            switch (key) {
            case 7:
                print_bytes(&key, 1, 0);
                step = Step::check;
                break;
            case 10: case 11: case 12: case 28: case 29: case 30: case 31:
                break;
            case 9:
                s.pending_spaces = 8 - (s.accepted.length & 7);
                step = Step::check;
                break;
            case 13:
                step = Step::end;
                break;
            case 8:
                step = Step::take_back;
                break;
            default:
                if (s.accepted.length >= kLineLimit) break;
                s.accepted.text[s.accepted.length++] = key;
                if (!destination_record()->is_console) print_bytes(&key, 1, 0);
                s.line = s.accepted;
                step = Step::check;
                break;
            }
            break;
        case Step::take_back:
            if (s.line.length == 0) {
                step = Step::read;
            } else {
                --s.line.length;
                input_redraw_session(s);
                step = Step::check;
            }
            break;
        case Step::end:
            break;
        }
    }
    input_finish(s, newline);
}
