// The program and timer threads: the program thread's entry and its way out of the
// process, the timer thread's due marking, and the runtime's sleep.
#include <SDL.h>
#include <pthread.h>

#include "errors/errors.h"
#include "errors/traps.h"
#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"
#include "platform/platform.h"

void frame_delay_ms(uint32_t duration_ms) { platform_sleep_ms(duration_ms); }

[[noreturn]] void thread_stop_program() {
    frame_state.finished_mask.fetch_or(1);
    while (error_state.stop_requested.load() == 0) frame_delay_ms(16);
    // The thread ends itself with pthread_exit: the forced unwind runs the destructors of
    // every runtime frame between here and the thread entry, and SDL's wrapper needs
    // nothing after the entry returns (the main thread joins with SDL_WaitThread).
    pthread_exit(nullptr);
}

TimerPassResult frame_timer_pass(double now_seconds) {
    TimerPassResult result{0, 0, false};
    const uint32_t count = timer_trap_table.count.load();
    for (uint32_t i = 0; i < count; ++i) {
        TimerTrap& record = timer_trap_table.records[i];
        if (record.in_use.load() != 0 && record.handler_present.load() != 0 && record.state.load() != 0) {
            ++result.armed;
            if (record.due.load() == kTimerIdle &&
                frame_timer_record_due(now_seconds, record.interval_seconds, record.last_time_seconds)) {
                record.due.store(kTimerDue);
                error_state.event_pending.store(1);
                ++result.marked;
            }
        }
        if (frame_state.timer_suspend.load() == 1) {
            result.interrupted = true;
            return result;
        }
    }
    return result;
}

int TimerThread(void*) {
    // Armed timers are looked at every millisecond, so an occurrence is found within
    // about a millisecond of its time. With none armed the thread naps longer; arming one
    // is noticed within that nap and only starts its clock.
    constexpr uint32_t kArmedPollMs = 1;
    constexpr uint32_t kIdlePollMs = 10;
    while (error_state.stop_requested.load() == 0) {
        uint32_t expected = 1;
        frame_state.timer_suspend.compare_exchange_strong(expected, 2);
        if (frame_state.timer_suspend.load() != 0) {
            frame_delay_ms(1);
            continue;
        }
        const TimerPassResult pass = frame_timer_pass(SDL_GetTicks() * 0.001);
        if (pass.interrupted) continue;
        frame_delay_ms(pass.armed > 0 ? kArmedPollMs : kIdlePollMs);
    }
    frame_state.finished_mask.fetch_or(2);
    return 0;
}
