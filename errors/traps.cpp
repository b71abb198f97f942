// Dispatch of due event traps (device buttons, keys, timers) from the statement check.
#include "errors/traps.h"

#include "errors/errors.h"
#include "keyboard/keyboard.h"

std::atomic<uint8_t> key_trap_reentry{0};
DeviceButtonTrapTable device_button_trap_table{};
void (*event_trap_handler)(uint64_t handler_id) = nullptr;

namespace {
TimerTrap timer_trap_records[1] = {{{1}, {0}, 0, {0}, {kTimerIdle}, 0.0, 0.0}};
}  // namespace

TimerTrapTable timer_trap_table{timer_trap_records, {1}};

namespace {

// Uniform access to the four trap fields; key traps are plain records shared with the
// main thread, so their counters are touched atomically in place.
uint32_t trap_handler_present(DeviceButtonTrap& t) { return t.handler_present.load(); }
uint8_t trap_state(DeviceButtonTrap& t) { return t.state.load(); }
uint8_t trap_pending(DeviceButtonTrap& t) { return t.pending_count.load(); }
void trap_consume(DeviceButtonTrap& t) { t.pending_count.fetch_sub(1); }

uint32_t trap_handler_present(KeyTrap& t) { return std::atomic_ref<uint32_t>(t.handler_present).load(); }
uint8_t trap_state(KeyTrap& t) { return std::atomic_ref<uint8_t>(t.state).load(); }
uint8_t trap_pending(KeyTrap& t) { return std::atomic_ref<uint8_t>(t.pending_count).load(); }
void trap_consume(KeyTrap& t) { std::atomic_ref<uint8_t>(t.pending_count).fetch_sub(1); }

// Runs pending occurrences of one table, one at a time, rescanning from the start after
// each, until a full scan finds none. Only the program thread lowers the counts, so a
// count seen above zero is still above zero when it is lowered here.
template <typename Trap>
void dispatch_counted_traps(Trap* traps, int first, int last, std::atomic<uint8_t>& reentry) {
    bool found = true;
    while (found) {
        found = false;
        for (int i = first; i <= last; ++i) {
            Trap& trap = traps[i];
            if (trap_handler_present(trap) == 0 || trap_state(trap) != 1 || trap_pending(trap) == 0) continue;
            if (reentry.load() != 0) return;
            reentry.store(1);
            trap_consume(trap);
            if (event_trap_handler != nullptr) event_trap_handler(trap.handler_id);
            reentry.store(0);
            found = true;
            break;
        }
    }
}

}  // namespace

void event_dispatch_traps() {
    if (error_state.in_handler != 0) return;

    DeviceButtonTrapTable& buttons = device_button_trap_table;
    for (uint32_t d = 0; d < buttons.device_count && d < kMaxButtonDevices; ++d) {
        if (buttons.devices[d] == nullptr) continue;
        dispatch_counted_traps(buttons.devices[d], 0, kDeviceButtonTrapsPerDevice - 1, buttons.reentry);
    }

    dispatch_counted_traps(KeyTrapTable, 1, kKeyTrapCount - 1, key_trap_reentry);

    // Timers: one pass in table order. The timer thread only moves idle records to due,
    // so taking a due record to running cannot lose an occurrence.
    const uint32_t count = timer_trap_table.count.load();
    for (uint32_t i = 0; i < count; ++i) {
        TimerTrap& timer = timer_trap_table.records[i];
        if (timer.in_use.load() == 0 || timer.handler_present.load() == 0 || timer.state.load() != 1) continue;
        uint8_t expected = kTimerDue;
        if (!timer.due.compare_exchange_strong(expected, kTimerRunning)) continue;
        if (event_trap_handler != nullptr) event_trap_handler(timer.handler_id);
        timer.due.store(kTimerIdle);
    }
}
