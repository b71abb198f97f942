// Key presses and releases: the held-key list, the key-hit queue, the BIOS key ring and
// shift bytes, the keyboard port, key traps and macros, pause, break and Alt+Enter.
#include <atomic>
#include <cstring>
#include <string>

#include "display/display.h"
#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "keyboard/keyboard.h"
#include "keyboard/private/key_state.h"
#include "keyboard/private/key_table.h"
#include "platform/platform.h"
#include "strings/strings.h"

KeyDownList key_down_list;
KeyHitQueue key_hit_queue;
ScanCodePort key_scan_port;
SuppressedReleaseList key_suppressed_releases;
AltNumberEntry key_alt_number;
KeyTrap KeyTrapTable[kKeyTrapCount];
std::atomic<int32_t> key_composition_state{0};
std::atomic<uint8_t> key_pressed_flag{0};

namespace {

// Values of the press being handled; main thread only.
int32_t current_origin = 0;
bool char_flag = false;
bool macro_expanding = false;

std::atomic_ref<uint8_t> bios_byte(uint32_t address) {
    return std::atomic_ref<uint8_t>(EmulatedMemory[address]);
}

bool caps_on() { return key_is_down(kKeyCodeCapsLock) != 0; }
bool num_on() { return key_is_down(kKeyCodeNumLock) != 0; }

bool is_keypad_char_code(KeyHitCode c) { return c >= 100256 && c <= 100271; }
bool is_keypad_nav_code(KeyHitCode c) { return c >= 200000 && c <= 200010; }
bool is_extended_code(KeyHitCode c) { return c >= 0x100 && c <= 0xFFFF; }

constexpr int32_t kKeypadNavValues[11] = {0x5200, 0x4F00, 0x5000, 0x5100, 0x4B00, 0x4C00,
                                          0x4D00, 0x4700, 0x4800, 0x4900, 0x5300};
constexpr int32_t kKeypadCharValues[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                           '8', '9', '.', '/', '*', '-', '+', 13};

struct KeyHitValue {
    int32_t value;
    uint32_t keypad;
};

KeyHitValue key_hit_value(KeyHitCode c) {
    if (is_keypad_char_code(c)) return {kKeypadCharValues[c - 100256], 1};
    if (is_keypad_nav_code(c)) return {kKeypadNavValues[c - 200000], 1};
    return {c, 0};
}

// Row of the translation table for a keypad or extended code; -1 when it has none.
int key_row(KeyHitCode c) {
    if (c >= 0 && c <= 255) return c;
    if (is_keypad_char_code(c)) return kKeyTableKeypadBase + (c - 100256);
    if (is_keypad_nav_code(c)) return kKeyTableKeypadBase + (c - 200000);
    if (is_extended_code(c)) return kKeyTableExtendedBase + c / 256;
    return -1;
}

// Fixed scan code and own modifier mask of the modifier and lock keys.
struct ModifierKey {
    KeyHitCode code;
    uint8_t scan;
    uint8_t mask;
};
constexpr ModifierKey kModifierKeys[] = {
    {kKeyCodeLeftShift, 42, 3}, {kKeyCodeRightShift, 54, 3}, {kKeyCodeLeftAlt, 56, 8},
    {kKeyCodeRightAlt, 56, 8},  {kKeyCodeLeftCtrl, 29, 4},   {kKeyCodeRightCtrl, 29, 4},
    {kKeyCodeNumLock, 69, 0x20}, {kKeyCodeCapsLock, 58, 0x40}, {kKeyCodeScrollLockKey, 70, 0},
};

const ModifierKey* modifier_key(KeyHitCode c) {
    for (const ModifierKey& key : kModifierKeys) {
        if (key.code == c) return &key;
    }
    return nullptr;
}

bool is_extended_flag_key(KeyHitCode c) {
    switch (c) {
    case 0x4B00: case 0x4800: case 0x4D00: case 0x5000: case 0x4700: case 0x4900:
    case 0x4F00: case 0x5100: case 0x5200: case 0x5300: case 100267: case 100271:
    case kKeyCodeRightCtrl: case kKeyCodeRightAlt:
        return true;
    default:
        return false;
    }
}

int key_down_index(KeyHitCode c) {
    int32_t count = key_down_list.count.load(std::memory_order_acquire);
    for (int32_t i = 0; i < count; ++i) {
        if (key_down_list.code[i].load(std::memory_order_relaxed) == c) return i;
    }
    return -1;
}

bool suppressed_take(KeyHitCode c) {
    for (int32_t i = 0; i <= key_suppressed_releases.last_used; ++i) {
        if (key_suppressed_releases.code[i] == c) {
            key_suppressed_releases.code[i] = 0;
            return true;
        }
    }
    return false;
}

void suppressed_add(KeyHitCode c) {
    SuppressedReleaseList& list = key_suppressed_releases;
    for (int32_t i = 0; i <= list.last_used; ++i) {
        if (list.code[i] == 0) {
            list.code[i] = c;
            return;
        }
    }
    if (list.last_used < 255) {
        ++list.last_used;
        list.code[list.last_used] = c;
    }
}

// Whether a trap record's modifier flags fit the keyboard now, the key's own
// modifiers aside.
bool trap_flags_fit(uint8_t flags, uint8_t own_mask, bool extended) {
    struct Held { uint8_t bits; bool held; };
    const Held held[] = {{3, key_shift_held()}, {4, key_ctrl_held()}, {8, key_alt_held()}};
    for (const Held& h : held) {
        if (own_mask & h.bits) continue;
        if (((flags & h.bits) != 0) != h.held) return false;
    }
    if (!(own_mask & 0x20) && (flags & 0x20) && !num_on()) return false;
    if (!(own_mask & 0x40) && (flags & 0x40) && !caps_on()) return false;
    return ((flags & 0x80) != 0) == extended;
}

uint32_t trap_handler_present(KeyTrap& trap) { return std::atomic_ref<uint32_t>(trap.handler_present).load(); }
uint8_t trap_state(KeyTrap& trap) { return std::atomic_ref<uint8_t>(trap.state).load(); }

// Traps and macros; true when the press was taken by one of them.
bool key_press_traps(KeyHitCode c, int32_t value, uint8_t scan, uint8_t own_mask, bool extended) {
    KeyTrap* occurrence = nullptr;
    if (scan != 0) {
        for (KeyTrap& trap : KeyTrapTable) {
            if (trap.scan_code == scan && trap_state(trap) != 0 && trap_handler_present(trap) &&
                trap_flags_fit(trap.flags, own_mask, extended)) {
                occurrence = &trap;
                break;
            }
        }
    }
    if (occurrence == nullptr) {
        for (KeyTrap& trap : KeyTrapTable) {
            if (trap_state(trap) != 0 && trap_handler_present(trap) &&
                (trap.code == value || trap.alternate_code == c)) {
                occurrence = &trap;
                break;
            }
        }
    }
    if (occurrence == nullptr) {
        for (KeyTrap& trap : KeyTrapTable) {
            if (trap.macro != nullptr && trap.macro->length > 0 &&
                (trap.code == value || trap.alternate_code == c)) {
                suppressed_add(c);
                // Type from a copy so the presses never read the program's string
                // while it may be replaced.
                std::string text(reinterpret_cast<const char*>(trap.macro->text),
                                 static_cast<size_t>(trap.macro->length));
                for (char ch : text) {
                    KeyHitCode code = static_cast<uint8_t>(ch);
                    macro_expanding = true;
                    key_press(code);
                    key_release(code);
                    macro_expanding = false;
                }
                return true;
            }
        }
        return false;
    }
    std::atomic_ref<uint8_t> pending(occurrence->pending_count);
    if (trap_state(*occurrence) == 1) {
        pending.fetch_add(1);
    } else {
        pending.store(1);
    }
    error_state.event_pending.store(1);
    suppressed_add(c);
    return true;
}

// Appends a character and scan byte to the BIOS ring; a full ring drops the key.
void bios_ring_append(uint8_t character, uint8_t scan) {
    uint8_t tail = bios_byte(kBiosKeyTail).load(std::memory_order_relaxed);
    uint8_t head = bios_byte(kBiosKeyHead).load(std::memory_order_acquire);
    uint8_t next = static_cast<uint8_t>(tail + 2);
    if (next == kBiosKeyRingEnd) next = kBiosKeyRingFirst;
    if (next == head) return;
    if (tail < kBiosKeyRingFirst || tail >= kBiosKeyRingEnd || (tail & 1)) return;  // damaged by a POKE
    bios_byte(0x400 + tail).store(character, std::memory_order_relaxed);
    bios_byte(0x401 + tail).store(scan, std::memory_order_relaxed);
    bios_byte(kBiosKeyTail).store(next, std::memory_order_release);
}

// Splits a table result into ring bytes: an extended result has character 0.
void bios_ring_append_result(int32_t result, uint8_t row_scan) {
    if ((result & 0xFF00) != 0) {
        bios_ring_append(0, static_cast<uint8_t>(result >> 8));
    } else {
        bios_ring_append(static_cast<uint8_t>(result), row_scan);
    }
}

void key_press_ring(KeyHitCode c, bool was_char, bool insert_was_held, bool scroll_was_held) {
    if (c == kKeyCodeZero || (c >= 0 && c <= 255)) {
        uint8_t character = (c == kKeyCodeZero) ? 0 : static_cast<uint8_t>(c);
        const KeyTranslationRow& row = KeyTranslationTable[character];
        if (row.scan != 0) {
            key_port_make(row.scan);
            int m = 0;
            if (key_shift_held()) m = 1;
            if (key_ctrl_held()) m = 2;
            if (key_alt_held()) m = 3;
            if (was_char && key_is_down(kKeyCodeLeftCtrl) && key_is_down(kKeyCodeRightAlt) &&
                !key_is_down(kKeyCodeLeftAlt) && !key_is_down(kKeyCodeRightCtrl)) {
                m = 0;  // AltGr arrives as left Ctrl + right Alt and types its character
            }
            int32_t result = row.result[m];
            if (result == 0) return;
            bios_ring_append_result(result, row.scan);
            return;
        }
        bios_ring_append(character, 0);
        return;
    }
    int row_index = key_row(c);
    if (row_index >= 0) {
        const KeyTranslationRow& row = KeyTranslationTable[row_index];
        uint8_t scan = is_extended_code(c) ? static_cast<uint8_t>(c / 256) : 0;
        if (row.result[0] != 0) {
            key_port_make(row.scan);
            if (c == 0x5200 && !insert_was_held && !key_alt_held() && !key_shift_held() && !key_ctrl_held()) {
                key_down_toggle(kKeyCodeInsertOn);
                key_update_shift_flags();
            }
            int m = 0;
            bool digit = c >= 100256 && c <= 100266;
            if (key_shift_held()) m = 1;
            if (digit) m = key_shift_held() ? 7 : 4;
            if (key_ctrl_held()) m = 2;
            if (key_alt_held()) m = 3;
            int32_t result = row.result[m];
            if (result == 0) return;
            bios_ring_append_result(result, row.scan);
            return;
        }
        bios_ring_append(0, scan);
        return;
    }
    if (const ModifierKey* key = modifier_key(c)) {
        key_port_make(key->scan);
        if (c == kKeyCodeScrollLockKey && !scroll_was_held && !key_ctrl_held()) {
            key_down_toggle(kKeyCodeScrollLockOn);
        }
        key_update_shift_flags();
    }
}

}  // namespace

void key_set_current_origin(int32_t symbol) { current_origin = symbol; }

bool key_ctrl_held() { return key_is_down(kKeyCodeLeftCtrl) || key_is_down(kKeyCodeRightCtrl); }
bool key_shift_held() { return key_is_down(kKeyCodeLeftShift) || key_is_down(kKeyCodeRightShift); }
bool key_alt_held() { return key_is_down(kKeyCodeLeftAlt) || key_is_down(kKeyCodeRightAlt); }

void key_down_toggle(KeyHitCode c) {
    if (key_down_index(c) >= 0) {
        key_down_remove(c);
    } else {
        key_down_add(c);
    }
}

void key_hit_queue_append(int32_t value, uint32_t keypad) {
    uint64_t record = static_cast<uint32_t>(value) | (static_cast<uint64_t>(keypad) << 32);
    uint32_t write = key_hit_queue.write_position.load(std::memory_order_relaxed);
    key_hit_queue.entry[write].store(record, std::memory_order_relaxed);
    uint32_t next = (write + 1) % kKeyHitQueueSize;
    // A full queue loses its oldest record: move the reader on past the slot just reused.
    uint32_t expected = next;
    key_hit_queue.read_position.compare_exchange_strong(expected, (next + 1) % kKeyHitQueueSize);
    key_hit_queue.write_position.store(next, std::memory_order_release);
}

void key_down_add(KeyHitCode c) {
    if (key_down_index(c) >= 0) return;
    int32_t count = key_down_list.count.load(std::memory_order_relaxed);
    if (count >= kKeyDownCapacity) return;
    key_down_list.code[count].store(c, std::memory_order_relaxed);
    key_down_list.origin[count] = current_origin;
    current_origin = 0;
    key_down_list.count.store(count + 1, std::memory_order_release);
}

void key_down_remove(KeyHitCode c) {
    int index = key_down_index(c);
    if (index < 0) return;
    int32_t count = key_down_list.count.load(std::memory_order_relaxed);
    for (int32_t i = index; i + 1 < count; ++i) {
        key_down_list.code[i].store(key_down_list.code[i + 1].load(std::memory_order_relaxed),
                                    std::memory_order_relaxed);
        key_down_list.origin[i] = key_down_list.origin[i + 1];
    }
    key_down_list.count.store(count - 1, std::memory_order_release);
}

int32_t key_is_down(KeyHitCode c) {
    if (key_down_index(c) >= 0) return 1;
    KeyHitCode twin = 0;
    if (c == 13) twin = 100271;
    else if (c == 42) twin = 100268;
    else if (c == 43) twin = 100270;
    else if (c == 45) twin = 100269;
    else if (c == 46) twin = 100266;
    else if (c == 47) twin = 100267;
    else if (c >= 48 && c <= 57) twin = 100256 + (c - 48);
    else {
        for (int i = 0; i < 11; ++i) {
            if (kKeypadNavValues[i] == c) twin = 200000 + i;
        }
    }
    if (twin == 0) return 0;
    return key_down_index(twin) >= 0 ? 1 : 0;
}

void key_release_by_window_key(int32_t symbol) {
    int32_t count = key_down_list.count.load(std::memory_order_relaxed);
    for (int32_t i = 0; i < count; ++i) {
        if (key_down_list.origin[i] == symbol) {
            key_release(key_down_list.code[i].load(std::memory_order_relaxed));
            return;
        }
    }
}

void key_update_shift_flags() {
    auto bit = [](KeyHitCode c, int shift) { return static_cast<uint8_t>(key_is_down(c) << shift); };
    uint8_t flags1 = bit(kKeyCodeRightShift, 0) | bit(kKeyCodeLeftShift, 1) |
                     static_cast<uint8_t>(key_ctrl_held() << 2) | static_cast<uint8_t>(key_alt_held() << 3) |
                     bit(kKeyCodeScrollLockOn, 4) | bit(kKeyCodeNumLock, 5) |
                     bit(kKeyCodeCapsLock, 6) | bit(kKeyCodeInsertOn, 7);
    uint8_t flags2 = bit(kKeyCodeLeftCtrl, 0) | bit(kKeyCodeLeftAlt, 1) | bit(kKeyCodeSysReq, 2) |
                     bit(kKeyCodePause, 3) | bit(kKeyCodeScrollLockKey, 4) | bit(0x5200, 7);
    uint8_t flags3 = bit(kKeyCodeRightCtrl, 0) | bit(kKeyCodeRightAlt, 1) | 0x10;
    bios_byte(kBiosShiftFlags1).store(flags1, std::memory_order_relaxed);
    bios_byte(kBiosShiftFlags2).store(flags2, std::memory_order_relaxed);
    bios_byte(kBiosShiftFlags3).store(flags3, std::memory_order_relaxed);
}

void key_port_make(uint8_t scan) {
    ScanCodePort& port = key_scan_port;
    if (port.count != 0 && port.bytes[port.count - 1] == scan) return;
    if (port.count == 256) {
        std::memmove(port.bytes, port.bytes + 1, 255);
        port.count = 255;
    }
    port.bytes[port.count++] = scan;
}

void key_port_break(uint8_t scan) { key_port_make(static_cast<uint8_t>((scan + 128) & 0xFF)); }

void key_press(KeyHitCode c) {
    if (c == 0) c = kKeyCodeZero;
    bool was_char = char_flag;
    char_flag = false;
    bool insert_was_held = c == 0x5200 && key_down_index(0x5200) >= 0;
    bool scroll_was_held = c == kKeyCodeScrollLockKey && key_down_index(kKeyCodeScrollLockKey) >= 0;
    key_down_add(c);

    if (c == kKeyCodeBreak || ((c == kKeyCodeScrollLockKey || c == 100296) && key_ctrl_held())) {
        if (frame_state.close_intercept.load()) {
            frame_state.close_requests.fetch_or(2);
        } else {
            frame_state.exit_requested.store(1);
        }
    } else if (c == kKeyCodePause || (c == kKeyCodeNumLock && key_ctrl_held())) {
        error_state.suspend_flags.fetch_or(kSuspendPaused);
        error_state.event_pending.store(1);
    } else if (error_state.suspend_flags.load() & kSuspendPaused) {
        // Any key ends a pause and is otherwise discarded.
        error_state.suspend_flags.fetch_and(static_cast<uint8_t>(~kSuspendPaused));
    } else if (key_alt_held() && c == 13) {
        display_toggle_fullscreen();
    } else {
        bool taken = false;
        if (key_alt_number.state != 2) {
            KeyHitValue hit = key_hit_value(c);
            uint8_t scan = 0;
            uint8_t own_mask = 0;
            if (c >= 0 && c <= 255) {
                scan = KeyTranslationTable[c].scan;
            } else if (int row = key_row(c); row >= 0) {
                if (KeyTranslationTable[row].result[0] != 0) scan = KeyTranslationTable[row].scan;
            } else if (const ModifierKey* key = modifier_key(c)) {
                scan = key->scan;
                own_mask = key->mask;
            }
            if (!macro_expanding) {
                taken = key_press_traps(c, hit.value, scan, own_mask, is_extended_flag_key(c));
            }
            if (!taken) key_hit_queue_append(hit.value, hit.keypad);
        }
        if (!taken) key_press_ring(c, was_char, insert_was_held, scroll_was_held);
    }
    key_pressed_flag.store(1);
}

void key_release(KeyHitCode c) {
    if (c == 0) c = kKeyCodeZero;
    key_down_remove(c);
    if (key_alt_number.state != 2) {
        KeyHitValue hit = key_hit_value(c);
        if (suppressed_take(c)) return;
        key_hit_queue_append(-hit.value, hit.keypad);
    }
    if (c >= 0 && c <= 255) {
        const KeyTranslationRow& row = KeyTranslationTable[c];
        if (row.result[0] != 0) key_port_break(row.scan);
    } else if (int row_index = key_row(c); row_index >= 0) {
        const KeyTranslationRow& row = KeyTranslationTable[row_index];
        if (row.result[0] != 0) {
            key_port_break(row.scan);
            if (c == 0x5200) key_update_shift_flags();
        }
    } else if (const ModifierKey* key = modifier_key(c)) {
        key_port_break(key->scan);
        key_update_shift_flags();
    }
}

KeyHitCode key_char_mapping(uint32_t u) {
    if (u <= 127) return static_cast<KeyHitCode>(u);
    for (int i = 0; i < 256; ++i) {
        if (Cp437ToUnicode[i] == u) return i;
    }
    if (u >= 0xFF01 && u <= 0xFF5E) return static_cast<KeyHitCode>(u - 0xFEE0);
    if (u == 0x3000) return 32;
    return static_cast<KeyHitCode>(u | kKeyCodeUnicodeFlag);
}

void key_press_char(uint32_t u) {
    char_flag = true;
    key_press(key_char_mapping(u));
}

void key_release_char(uint32_t u) { key_release(key_char_mapping(u)); }

int32_t key_hit_pop() {
    uint32_t read = key_hit_queue.read_position.load(std::memory_order_relaxed);
    uint32_t write = key_hit_queue.write_position.load(std::memory_order_acquire);
    if (read == write) return 0;
    uint64_t record = key_hit_queue.entry[read].load(std::memory_order_relaxed);
    // The writer may have moved the reader on meanwhile (queue full); only advance from
    // the position read.
    key_hit_queue.read_position.compare_exchange_strong(read, (read + 1) % kKeyHitQueueSize);
    return static_cast<int32_t>(static_cast<uint32_t>(record));
}

BasicString* key_inkey() {
    if (error_pending()) return string_new(0, true);
    uint8_t head = bios_byte(kBiosKeyHead).load(std::memory_order_relaxed);
    uint8_t tail = bios_byte(kBiosKeyTail).load(std::memory_order_acquire);
    if (head == tail || head < kBiosKeyRingFirst || head >= kBiosKeyRingEnd || (head & 1)) {
        // Nothing typed: give the processor away, so a program polling INKEY$ in a loop
        // waits instead of spinning; a program draining typed keys is not slowed.
        platform_sleep_ms(0);
        return string_new(0, true);
    }
    uint8_t character = bios_byte(0x400 + head).load(std::memory_order_relaxed);
    uint8_t scan = bios_byte(0x401 + head).load(std::memory_order_relaxed);
    uint8_t next = static_cast<uint8_t>(head + 2);
    if (next == kBiosKeyRingEnd) next = kBiosKeyRingFirst;
    bios_byte(kBiosKeyHead).store(next, std::memory_order_release);
    // Character 0 with a scan code is an extended key: two characters.
    int32_t length = (character != 0 || scan == 0) ? 1 : 2;
    BasicString* s = string_new(length, true);
    s->text[0] = character;
    if (length == 2) s->text[1] = scan;
    return s;
}
