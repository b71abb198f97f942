// Internal keyboard state shared by the key translation, INKEY$ and their tests.
#pragma once

#include <atomic>
#include <cstdint>

#include "keyboard/keyboard.h"

// Held codes and the window key that produced each. A fixed capacity: the program
// thread reads the list while the main thread changes it, so its storage never moves.
inline constexpr int kKeyDownCapacity = 256;
struct KeyDownList {
    std::atomic<int32_t> code[kKeyDownCapacity];
    int32_t origin[kKeyDownCapacity];   // main thread only
    std::atomic<int32_t> count;
};
extern KeyDownList key_down_list;

// Ring of presses (value) and releases (negated value); high half 1 for keypad keys.
inline constexpr uint32_t kKeyHitQueueSize = 8192;
struct KeyHitQueue {
    std::atomic<uint64_t> entry[kKeyHitQueueSize];
    std::atomic<uint32_t> write_position;
    std::atomic<uint32_t> read_position;
};
extern KeyHitQueue key_hit_queue;

// Emulated keyboard data port: make and break scan codes in arrival order.
struct ScanCodePort {
    uint8_t bytes[256];
    int32_t count;
};
extern ScanCodePort key_scan_port;

struct SuppressedReleaseList {
    int32_t code[256];
    int32_t last_used;
};
extern SuppressedReleaseList key_suppressed_releases;

struct AltNumberEntry {
    int32_t state;    // 0 off, 1 an Alt key went down, 2 keypad digits being typed
    uint64_t value;
};
extern AltNumberEntry key_alt_number;

// Puts every keyboard structure back to its start-up state (empty lists and queue, ring
// head and tail 0x1E, flag bytes 0, no traps). Used by start-up and tests.
void key_state_reset();

// Appends one record to the key-hit queue, dropping the oldest when it is full.
void key_hit_queue_append(int32_t value, uint32_t keypad);

// Either key of a modifier pair held.
bool key_ctrl_held();
bool key_shift_held();
bool key_alt_held();

// Adds the code to the held-key list, or removes it when it is there (lock states).
void key_down_toggle(KeyHitCode code);
