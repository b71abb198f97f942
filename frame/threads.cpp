// The program and timer threads: the program thread's entry and its way out of the
// process, the timer thread's due marking, and the runtime's sleep.
#include <SDL.h>
#include <pthread.h>

#include <cerrno>
#include <ctime>

#include "errors/errors.h"
#include "errors/traps.h"
#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"

void frame_delay_ms(uint32_t duration_ms) {
    // A zero wait is a yield; it sleeps a millisecond so that poll loops never spin.
    if (duration_ms == 0) duration_ms = 1;
    timespec remaining{static_cast<time_t>(duration_ms / 1000), static_cast<long>(duration_ms % 1000) * 1000000L};
    while (nanosleep(&remaining, &remaining) == -1 && errno == EINTR) {
    }
}

[[noreturn]] void thread_stop_program() {
    frame_state.finished_mask.fetch_or(1);
    while (error_state.stop_requested.load() == 0) frame_delay_ms(16);
    // The thread ends itself with pthread_exit: the forced unwind runs the destructors of
    // every runtime frame between here and the thread entry, and SDL's wrapper needs
    // nothing after the entry returns (the main thread joins with SDL_WaitThread).
    pthread_exit(nullptr);
}

int32_t frame_timer_pass(double now_seconds) {
    int32_t marked = 0;
    const uint32_t count = timer_trap_table.count.load();
    for (uint32_t i = 0; i < count; ++i) {
        TimerTrap& record = timer_trap_table.records[i];
        if (record.in_use.load() != 0 && record.handler_present.load() != 0 && record.state.load() != 0 &&
            record.due.load() == kTimerIdle) {
            if (frame_timer_record_due(now_seconds, record.interval_seconds, record.last_time_seconds)) {
                record.due.store(kTimerDue);
                error_state.event_pending.store(1);
                ++marked;
            }
        }
        if (frame_state.timer_suspend.load() == 1) return -1;
    }
    return marked;
}

int TimerThread(void*) {
    while (error_state.stop_requested.load() == 0) {
        uint32_t expected = 1;
        frame_state.timer_suspend.compare_exchange_strong(expected, 2);
        if (frame_state.timer_suspend.load() != 0) {
            frame_delay_ms(1);
            continue;
        }
        if (frame_timer_pass(SDL_GetTicks() * 0.001) < 0) continue;
        // One millisecond between passes keeps a due occurrence within about a
        // millisecond of its time without spinning a core.
        frame_delay_ms(1);
    }
    frame_state.finished_mask.fetch_or(2);
    return 0;
}
