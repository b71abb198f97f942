// Drives the keyboard with arbitrary bytes: window key-event sequences, and INPUT
// statements over random targets and keystrokes, checking the invariants after each.
// Shared by the randomised unit test and the libFuzzer target.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "keyboard/private/input_state.h"
#include "keyboard/private/key_state.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace keyboard_fuzz {

// Reports a broken invariant; the unit test and the fuzzer both stop at the first.
[[noreturn]] inline void violated(const char* what) {
    std::fprintf(stderr, "keyboard invariant broken: %s\n", what);
    std::abort();
}

inline void check(bool ok, const char* what) {
    if (!ok) violated(what);
}

struct Reader {
    const uint8_t* data;
    size_t size;
    size_t position;
    bool done() const { return position >= size; }
    uint8_t next() { return done() ? 0 : data[position++]; }
};

inline void init_once() {
    static bool ready = false;
    if (ready) return;
    ready = true;
    string_engine_init();
    font_tables_init();
    screen_startup();
    screen_key_line_show(0);
}

inline uint8_t memory(uint32_t address) { return std::atomic_ref<uint8_t>(EmulatedMemory[address]).load(); }

inline void check_keyboard_state() {
    uint8_t head = memory(kBiosKeyHead), tail = memory(kBiosKeyTail);
    check(head >= kBiosKeyRingFirst && head < kBiosKeyRingEnd && head % 2 == 0, "ring head in range");
    check(tail >= kBiosKeyRingFirst && tail < kBiosKeyRingEnd && tail % 2 == 0, "ring tail in range");
    int32_t count = key_down_list.count.load();
    check(count >= 0 && count <= kKeyDownCapacity, "held-key count in range");
    for (int32_t i = 0; i < count; ++i) {
        for (int32_t j = i + 1; j < count; ++j) {
            check(key_down_list.code[i].load() != key_down_list.code[j].load(), "held codes distinct");
        }
    }
    check(key_hit_queue.write_position.load() < kKeyHitQueueSize, "queue write position");
    check(key_hit_queue.read_position.load() < kKeyHitQueueSize, "queue read position");
    check(key_scan_port.count >= 0 && key_scan_port.count <= 256, "port count");
    check(key_suppressed_releases.last_used >= -1 && key_suppressed_releases.last_used <= 255,
          "suppressed list bound");
}

// ---------------------------------------------------------------------------------------
// Window key events
// ---------------------------------------------------------------------------------------

constexpr int32_t kSymbols[] = {0,   8,   9,   13,  19,  27,  32,  44,  48,  49,  53,  54,
                                91,  92,  93,  97,  98,  122, 127, 160, 256, 257, 261, 265,
                                266, 267, 271, 273, 276, 277, 278, 282, 291, 292, 293, 294,
                                300, 301, 302, 303, 304, 305, 306, 307, 308, 316, 317, 318};
constexpr uint32_t kUnicodes[] = {0, 1, 8, 10, 13, 26, 27, 30, 32, 48, 65, 97, 127, 0xA0, 0xE9, 0x263A, 0xFF21, 0x3000, 0x20AC};

inline void run_key_events(Reader& in) {
    int32_t mark = string_temporary_mark();
    while (!in.done()) {
        uint8_t kind = in.next();
        KeyEventRecord event{};
        event.type = (kind & 1) ? KeyEventType::up : KeyEventType::down;
        event.symbol = kSymbols[in.next() % std::size(kSymbols)];
        uint8_t u = in.next();
        event.unicode = (u & 0x80) ? u : kUnicodes[u % std::size(kUnicodes)];
        if (kind & 2) key_composition_state.store(kind & 4 ? 2 : 0);
        key_translate_event(event);
        if (kind & 8) key_sync_locks();
        if (kind & 16) {
            BasicString* s = key_inkey();
            check(s->length >= 0 && s->length <= 2, "INKEY$ length");
            if (s->length == 2) check(s->text[0] == 0, "two-character INKEY$ starts with 0");
            string_release_temporaries(mark, 0);
        }
        if (kind & 32) key_hit_pop();
        check_keyboard_state();
    }
    error_state.suspend_flags.store(0);
    frame_state.exit_requested.store(0);
    frame_state.close_requests.store(0);
    key_composition_state.store(0);
}

// ---------------------------------------------------------------------------------------
// INPUT
// ---------------------------------------------------------------------------------------

struct TargetKind {
    uint32_t type_word;
    int32_t fixed_length;  // > 0 for fixed-length strings
};

constexpr TargetKind kTargetKinds[] = {
    {8, 0}, {16, 0}, {32, 0}, {64, 0},
    {kInputTypeUnsigned | 8, 0}, {kInputTypeUnsigned | 16, 0}, {kInputTypeUnsigned | 32, 0},
    {kInputTypeUnsigned | 64, 0},
    {kInputTypeFloat | 32, 0}, {kInputTypeFloat | 64, 0}, {kInputTypeFloat | 256, 0},
    {kInputTypeString, 0}, {kInputTypeString, 1}, {kInputTypeString, 4},
    {kInputTypeString | kInputTypeLineMode, 0}, {16 | kInputTypeNoStore, 0},
};

constexpr uint8_t kGuard = 0x5A;
constexpr int32_t kStorageBytes = 24;

struct Slot {
    TargetKind kind;
    uint8_t storage[kStorageBytes];  // numbers, or the fixed-length text plus guard bytes
    BasicString* string;
};

inline uint32_t numeric_bytes(uint32_t w) {
    uint32_t size = w & kInputTypeSizeMask;
    if (w & kInputTypeFloat) return size == 256 ? 10 : size / 8;
    return size / 8;
}

// Key bytes become codes: a few stand for extended keys, the bell for a letter.
inline KeyHitCode key_code(uint8_t b) {
    switch (b) {
    case 0xF0: return 0x3B00;
    case 0xF1: return 0x4800;
    case 0xF2: return 0x4B00;
    case 0xF3: return 0x5300;
    case 7: return 'x';
    default: return b;
    }
}

inline Reader* typing = nullptr;

// How much the driver exercised, so a test can tell it did not pass vacuously.
inline int input_rounds = 0;
inline int keys_typed = 0;

// Fills the ring from the fuzz input once INPUT has read everything, up to and including
// the next Enter; Enter alone once the input runs dry.
inline void type_more() {
    if (memory(kBiosKeyTail) != memory(kBiosKeyHead)) return;
    auto ring_free = [] {
        int used = (memory(kBiosKeyTail) - memory(kBiosKeyHead) + 32) % 32 / 2;
        return 15 - used;
    };
    for (int free_slots = ring_free(); free_slots > 0; --free_slots) {
        KeyHitCode code = typing->done() ? 13 : key_code(typing->next());
        key_press(code);
        key_release(code);
        ++keys_typed;
        if (code == 13) break;
    }
}

// Splits a line the way the editor's rules describe, for the oracle.
inline std::vector<std::string> split_fields(const uint8_t* line, int32_t length, bool line_mode) {
    std::vector<std::string> fields(1);
    bool start = true;
    int quote = 0;
    for (int32_t i = 0; i < length; ++i) {
        char c = static_cast<char>(line[i]);
        if (!line_mode && c == ',' && quote != 1) {
            fields.emplace_back();
            start = true;
            quote = 0;
            continue;
        }
        if (!line_mode && c == '"' && ((quote == 0 && start) || quote == 1)) {
            quote = quote == 0 ? 1 : 2;
            continue;
        }
        check(quote != 2, "only a comma follows a closing quote");
        fields.back().push_back(c);
        start = false;
    }
    return fields;
}

inline void check_slot(Slot& slot, const std::string* field) {
    uint32_t w = slot.kind.type_word;
    if (w & kInputTypeString) {
        std::string text = field ? *field : std::string();
        if (slot.kind.fixed_length > 0) {
            int32_t n = slot.kind.fixed_length;
            check(slot.string->length == n, "fixed length unchanged");
            check(static_cast<int32_t>(text.size()) <= n, "fixed field fits");
            std::string expected = text + std::string(static_cast<size_t>(n) - text.size(), ' ');
            check(std::memcmp(slot.storage, expected.data(), static_cast<size_t>(n)) == 0, "fixed text stored");
            for (int32_t i = n; i < kStorageBytes; ++i) check(slot.storage[i] == kGuard, "fixed guard");
        } else {
            check(slot.string->length == static_cast<int32_t>(text.size()) &&
                      std::memcmp(slot.string->text, text.data(), text.size()) == 0,
                  "string stored");
        }
        return;
    }
    uint32_t bytes = numeric_bytes(w);
    for (uint32_t i = bytes; i < kStorageBytes; ++i) check(slot.storage[i] == kGuard, "numeric guard");
    uint8_t expected[kStorageBytes];
    std::memset(expected, kGuard, sizeof expected);
    if (!(w & kInputTypeNoStore)) std::memset(expected, 0, bytes);
    InputTarget scratch{w, expected};
    bool valid = input_validate_field(field ? reinterpret_cast<const uint8_t*>(field->data()) : nullptr,
                                      field ? static_cast<int32_t>(field->size()) : 0, scratch);
    check(valid, "every field of the finished line is valid");
    check(std::memcmp(expected, slot.storage, bytes) == 0, "stored value matches the field");
    if ((w & kInputTypeFloat) && (w & kInputTypeSizeMask) == 32) {
        float f;
        std::memcpy(&f, slot.storage, 4);
        check(std::isfinite(f), "single finite");
    }
    if ((w & kInputTypeFloat) && (w & kInputTypeSizeMask) == 64) {
        double d;
        std::memcpy(&d, slot.storage, 8);
        check(std::isfinite(d), "double finite");
    }
    if ((w & kInputTypeFloat) && (w & kInputTypeSizeMask) == 256) {
        long double e = 0;
        std::memcpy(&e, slot.storage, 10);
        check(std::isfinite(e), "extended finite");
    }
}

inline void run_inputs(Reader& in) {
    Slot slots[4];
    for (int round = 0; round < 8 && !in.done(); ++round) {
        int32_t count = 1 + in.next() % 3;
        bool line_mode = false;
        for (int32_t i = 1; i <= count; ++i) {
            Slot& slot = slots[i];
            slot.kind = kTargetKinds[in.next() % std::size(kTargetKinds)];
            if (i > 1 && (slot.kind.type_word & kInputTypeLineMode)) slot.kind.type_word = kInputTypeString;
            std::memset(slot.storage, kGuard, sizeof slot.storage);
            slot.string = nullptr;
            void* target = slot.storage;
            if (slot.kind.type_word & kInputTypeString) {
                slot.string = slot.kind.fixed_length > 0
                                  ? string_new_external(slot.storage, slot.kind.fixed_length, false)
                                  : string_new(0, false);
                target = slot.string;
            }
            InputTargetList[i] = InputTarget{slot.kind.type_word, target};
        }
        line_mode = (slots[1].kind.type_word & kInputTypeString) && (slots[1].kind.type_word & kInputTypeLineMode);

        typing = &in;
        input_wait_hook = type_more;
        input_statement(count, 1);
        input_wait_hook = nullptr;
        ++input_rounds;
        check(error_state.error_number == 0, "no run-time error");

        uint8_t line[256];
        int32_t length = input_line_copy(line);
        check(length >= 0 && length <= 255, "line within 255 characters");
        std::vector<std::string> fields = split_fields(line, length, line_mode);
        check(static_cast<int32_t>(fields.size()) <= count, "no more fields than targets");
        for (int32_t i = 1; i <= count; ++i) {
            const std::string* field = i <= static_cast<int32_t>(fields.size()) ? &fields[i - 1] : nullptr;
            check_slot(slots[i], field);
        }
        for (int32_t i = 1; i <= count; ++i) {
            if (slots[i].string != nullptr) string_free(slots[i].string);
        }
        // Drop what INPUT left unread so the next round starts from its own keys.
        std::atomic_ref<uint8_t>(EmulatedMemory[kBiosKeyHead]).store(memory(kBiosKeyTail));
    }
}

// One fuzz case: the first byte chooses key events or INPUT statements.
inline void run_one(const uint8_t* data, size_t size) {
    init_once();
    if (size == 0) return;
    key_tables_init();
    error_state.error_number = 0;
    Reader in{data, size, 1};
    if (data[0] & 1) {
        run_key_events(in);
    } else {
        run_inputs(in);
    }
}

}  // namespace keyboard_fuzz
