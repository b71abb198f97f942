// Keyboard: key events to key codes, the held-key list, the key-hit queue, the BIOS key
// ring and flag bytes, INKEY$, and the INPUT line editor.
#pragma once

#include <atomic>
#include <cstdint>

struct BasicString;

// ---------------------------------------------------------------------------------------
// Key codes
// ---------------------------------------------------------------------------------------

// A KeyHitCode is a signed 32-bit number: 1..255 code page 437 characters, scan * 256 for
// extended keys, 100000 + SDL key symbol for other keys, 200000..200012 keypad keys
// without Num Lock and lock states, 0x40000000 + code point for characters outside
// code page 437.
using KeyHitCode = int32_t;

inline constexpr KeyHitCode kKeyCodeNonCharBase = 100000;
inline constexpr KeyHitCode kKeyCodePause = 100019;
inline constexpr KeyHitCode kKeyCodeNumLock = 100300;
inline constexpr KeyHitCode kKeyCodeCapsLock = 100301;
inline constexpr KeyHitCode kKeyCodeScrollLockKey = 100302;
inline constexpr KeyHitCode kKeyCodeRightShift = 100303;
inline constexpr KeyHitCode kKeyCodeLeftShift = 100304;
inline constexpr KeyHitCode kKeyCodeRightCtrl = 100305;
inline constexpr KeyHitCode kKeyCodeLeftCtrl = 100306;
inline constexpr KeyHitCode kKeyCodeRightAlt = 100307;
inline constexpr KeyHitCode kKeyCodeLeftAlt = 100308;
inline constexpr KeyHitCode kKeyCodeSysReq = 100317;
inline constexpr KeyHitCode kKeyCodeBreak = 100318;
inline constexpr KeyHitCode kKeyCodeKeypadBase = 200000;   // keypad 0..9, "." without Num Lock
inline constexpr KeyHitCode kKeyCodeScrollLockOn = 200011;
inline constexpr KeyHitCode kKeyCodeInsertOn = 200012;
inline constexpr KeyHitCode kKeyCodeZero = 200013;         // stands for code 0 when held
inline constexpr KeyHitCode kKeyCodeUnicodeFlag = 0x40000000;

// BIOS data area locations inside EmulatedMemory.
inline constexpr uint32_t kBiosShiftFlags1 = 0x417;
inline constexpr uint32_t kBiosShiftFlags2 = 0x418;
inline constexpr uint32_t kBiosKeyHead = 0x41A;
inline constexpr uint32_t kBiosKeyTail = 0x41C;
inline constexpr uint32_t kBiosKeyRingFirst = 0x1E;        // offsets from 0x400
inline constexpr uint32_t kBiosKeyRingEnd = 0x3E;
inline constexpr uint32_t kBiosShiftFlags3 = 0x496;

// ---------------------------------------------------------------------------------------
// Window key events, as plain records so only the display loop touches SDL
// ---------------------------------------------------------------------------------------

enum class KeyEventType : uint8_t { down, up };

struct KeyEventRecord {
    KeyEventType type;
    int32_t symbol;     // SDL 1.2 key symbol (SDLKey)
    uint32_t modifiers; // SDL 1.2 modifier mask (SDLMod)
    uint32_t unicode;   // translated character, 0 when none
    uint8_t scancode;   // hardware scan code as the window system reports it
};

// Turns one window key event into presses and releases. Main thread.
void key_translate_event(const KeyEventRecord& event);

// Makes Scroll Lock, Caps Lock and Num Lock follow the window system's toggle states.
void key_sync_locks();

// Fixed start values: the key-trap codes of F1..F12 and the arrows, an empty BIOS ring
// (head and tail 0x1E) and the keyboard port's first byte. Before the program runs.
void key_tables_init();

// The start-up keyboard state: lock toggles and held modifiers become presses, the shift
// bytes are written and the key-hit queue emptied. Main thread, before the program runs.
void key_startup_state();

// ---------------------------------------------------------------------------------------
// Presses and releases (main thread)
// ---------------------------------------------------------------------------------------

void key_press(KeyHitCode code);
void key_release(KeyHitCode code);
void key_press_char(uint32_t code_point);
void key_release_char(uint32_t code_point);
KeyHitCode key_char_mapping(uint32_t code_point);

void key_down_add(KeyHitCode code);
void key_down_remove(KeyHitCode code);
void key_release_by_window_key(int32_t symbol);
void key_update_shift_flags();
void key_port_make(uint8_t scan);
void key_port_break(uint8_t scan);

// Sets the window key symbol recorded for the next code added to the held-key list.
void key_set_current_origin(int32_t symbol);

// ---------------------------------------------------------------------------------------
// Reading (program thread)
// ---------------------------------------------------------------------------------------

// 1 when the code (or its keypad twin) is held, else 0.
int32_t key_is_down(KeyHitCode code);

// INKEY$: a temporary string of "", one character, or 0 and a scan code.
BasicString* key_inkey();

// Oldest key-hit value (releases negative), 0 when none.
int32_t key_hit_pop();

// Composition state of the input-method module: while it is not 0 the window's key
// events belong to the composition and are not translated here.
extern std::atomic<int32_t> key_composition_state;

// Set by every press; a wait-for-key statement clears and watches it.
extern std::atomic<uint8_t> key_pressed_flag;

// ---------------------------------------------------------------------------------------
// Key traps and macros
// ---------------------------------------------------------------------------------------

struct KeyTrap {
    uint32_t handler_present;
    uint64_t handler_id;
    uint8_t state;           // 0 off, 1 on, other values held
    uint8_t pending_count;
    int32_t code;            // key-hit value
    int32_t alternate_code;  // KeyHitCode
    uint8_t scan_code;
    uint8_t flags;           // bits 0-1 Shift, 2 Ctrl, 3 Alt, 5 Num Lock, 6 Caps Lock, 7 extended
    BasicString* macro;      // may be null
};

inline constexpr int kKeyTrapCount = 32;
extern KeyTrap KeyTrapTable[kKeyTrapCount];

// ---------------------------------------------------------------------------------------
// INPUT
// ---------------------------------------------------------------------------------------

// Type word bits of an input target.
inline constexpr uint32_t kInputTypeString = 0x40000000;
inline constexpr uint32_t kInputTypeFloat = 0x20000000;
inline constexpr uint32_t kInputTypeUnsigned = 0x10000000;
inline constexpr uint32_t kInputTypeNoStore = 0x1000000;
inline constexpr uint32_t kInputTypeLineMode = 0x200;
inline constexpr uint32_t kInputTypeSizeMask = 0x1FF;

struct InputTarget {
    uint32_t type_word;
    void* target;  // numeric storage, or the string variable's BasicString*
};

// Entries 1..N are used; entry 0 is not.
inline constexpr int kInputTargetCapacity = 256;
extern InputTarget InputTargetList[kInputTargetCapacity + 1];

// INPUT: edits one line, checking each keystroke against the targets' types, and stores
// the values into InputTargetList[1..count]. newline 1 moves to the next line after Enter.
void input_statement(int32_t count, uint8_t newline);

// 0 not a radix literal (or invalid), 1 hexadecimal, 2 octal; the value goes to
// input_radix_value.
int32_t input_parse_radix(const uint8_t* text, int32_t length);
extern uint64_t input_radix_value;

// Checks one field against its target, storing the value when it is valid.
bool input_validate_field(const uint8_t* text, int32_t length, const InputTarget& target);

// Restores the destination from the picture taken when INPUT began and prints the line
// again. Only meaningful while an INPUT runs.
void input_redraw();
