// Event-trap tables the statement check dispatches: timer traps, device-button traps,
// re-entry flags and the hook that runs a handler. Key traps live in keyboard/keyboard.h
// (KeyTrapTable).
#pragma once

#include <atomic>
#include <cstdint>

// Set while a key-trap handler runs, so a handler's own statements do not dispatch again.
extern std::atomic<uint8_t> key_trap_reentry;

// One device-button trap; every input device of the button kind has 256 of them.
struct DeviceButtonTrap {
    std::atomic<uint32_t> handler_present;
    uint64_t handler_id;
    std::atomic<uint8_t> state;          // 0 off, 1 on
    std::atomic<uint8_t> pending_count;  // occurrences not yet dispatched
};

inline constexpr int kDeviceButtonTrapsPerDevice = 256;
inline constexpr int kMaxButtonDevices = 256;

// The input-device service hands in one block of 256 traps per button device, in device
// order. Without that service the table stays empty.
struct DeviceButtonTrapTable {
    DeviceButtonTrap* devices[kMaxButtonDevices];
    uint32_t device_count;
    std::atomic<uint8_t> reentry;
};
extern DeviceButtonTrapTable device_button_trap_table;

// One ON TIMER trap. The timer thread reads the record and writes due and last_time.
struct TimerTrap {
    std::atomic<uint8_t> in_use;
    std::atomic<uint32_t> handler_present;
    uint64_t handler_id;
    std::atomic<uint8_t> state;          // 0 off, 1 on
    std::atomic<uint8_t> due;            // 0 idle, 1 due, 2 handler running
    double interval_seconds;
    double last_time_seconds;            // tick clock of the last occurrence; 0 = not started
};

inline constexpr uint8_t kTimerIdle = 0;
inline constexpr uint8_t kTimerDue = 1;
inline constexpr uint8_t kTimerRunning = 2;

// A counted table; record 0 is the program's ON TIMER trap (in use, no handler, off).
// Whoever grows it stops the timer thread first (timer_suspend handshake).
struct TimerTrapTable {
    TimerTrap* records;
    std::atomic<uint32_t> count;
};
extern TimerTrapTable timer_trap_table;

// Runs the handler the translated program supplies for an identifier. A program without
// handlers leaves it null, and dispatched occurrences are merely consumed.
extern void (*event_trap_handler)(uint64_t handler_id);
