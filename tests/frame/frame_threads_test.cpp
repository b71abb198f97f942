// Tests of the frame's threads: the timer pass over the trap table, the timer thread's
// stop, the program thread's way out, the mouse ring and the runtime's sleep.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <chrono>

#include "errors/errors.h"
#include "errors/traps.h"
#include "frame/frame.h"
#include "frame/private/frame_logic.h"

namespace {

// Puts the shared records back to their start-up values around each test.
class FrameThreads : public ::testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        TimerTrap& timer = timer_trap_table.records[0];
        timer.in_use.store(1);
        timer.handler_present.store(0);
        timer.state.store(0);
        timer.due.store(kTimerIdle);
        timer.interval_seconds = 0.0;
        timer.last_time_seconds = 0.0;
        error_state.event_pending.store(0);
        error_state.stop_requested.store(0);
        frame_state.finished_mask.store(0);
        frame_state.timer_suspend.store(0);
        frame_state.exit_requested.store(0);
    }

    static TimerTrap& arm(double interval_seconds) {
        TimerTrap& timer = timer_trap_table.records[0];
        timer.handler_present.store(1);
        timer.state.store(1);
        timer.interval_seconds = interval_seconds;
        return timer;
    }
};

TEST_F(FrameThreads, TimerPassMarksDueAndRaisesTheEventFlag) {
    TimerTrap& timer = arm(1.0);
    EXPECT_EQ(frame_timer_pass(5.0).marked, 0);
    EXPECT_EQ(error_state.event_pending.load(), 0u);
    const TimerPassResult due = frame_timer_pass(6.01);
    EXPECT_EQ(due.marked, 1);
    EXPECT_EQ(due.armed, 1);
    EXPECT_EQ(timer.due.load(), kTimerDue);
    EXPECT_EQ(error_state.event_pending.load(), 1u);
    // A pending occurrence is not looked at again until it was dispatched.
    EXPECT_EQ(frame_timer_pass(9.5).marked, 0);
    EXPECT_DOUBLE_EQ(timer.last_time_seconds, 6.0);
    timer.due.store(kTimerIdle);
    EXPECT_EQ(frame_timer_pass(9.5).marked, 1);
    EXPECT_DOUBLE_EQ(timer.last_time_seconds, 9.5);
}

TEST_F(FrameThreads, TimerPassSkipsRecordsThatAreNotArmed) {
    struct Case {
        uint8_t in_use;
        uint32_t handler;
        uint8_t state;
    };
    for (const Case c : {Case{0, 1, 1}, Case{1, 0, 1}, Case{1, 1, 0}}) {
        TimerTrap& timer = arm(1.0);
        timer.in_use.store(c.in_use);
        timer.handler_present.store(c.handler);
        timer.state.store(c.state);
        timer.last_time_seconds = 1.0;
        const TimerPassResult pass = frame_timer_pass(50.0);
        EXPECT_EQ(pass.marked, 0);
        EXPECT_EQ(pass.armed, 0);
        EXPECT_DOUBLE_EQ(timer.last_time_seconds, 1.0);
        reset();
    }
}

TEST_F(FrameThreads, TimerPassStopsWhenASuspendIsRequested) {
    arm(1.0).last_time_seconds = 1.0;
    frame_state.timer_suspend.store(1);
    const TimerPassResult pass = frame_timer_pass(50.0);
    EXPECT_TRUE(pass.interrupted);
    EXPECT_EQ(pass.marked, 1);  // the record looked at before the request still counts
}

TEST_F(FrameThreads, TimerThreadMarksDueAndReturnsOnStop) {
    arm(0.02);
    SDL_Thread* thread = SDL_CreateThread(TimerThread, nullptr);
    ASSERT_NE(thread, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (timer_trap_table.records[0].due.load() != kTimerDue && std::chrono::steady_clock::now() < deadline) {
        frame_delay_ms(1);
    }
    EXPECT_EQ(timer_trap_table.records[0].due.load(), kTimerDue);
    error_state.stop_requested.store(1);
    int status = -1;
    SDL_WaitThread(thread, &status);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(frame_state.finished_mask.load(), 2u);
}

TEST_F(FrameThreads, TimerThreadAnswersTheSuspendHandshake) {
    SDL_Thread* thread = SDL_CreateThread(TimerThread, nullptr);
    ASSERT_NE(thread, nullptr);
    frame_state.timer_suspend.store(1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (frame_state.timer_suspend.load() != 2 && std::chrono::steady_clock::now() < deadline) frame_delay_ms(1);
    EXPECT_EQ(frame_state.timer_suspend.load(), 2u);
    frame_state.timer_suspend.store(0);
    error_state.stop_requested.store(1);
    SDL_WaitThread(thread, nullptr);
    EXPECT_EQ(frame_state.finished_mask.load(), 2u);
}

// The program thread parks, announces itself, and ends only once the stop is requested;
// the objects on its stack are destroyed on the way out.
std::atomic<int> unwound{0};
struct UnwindWitness {
    ~UnwindWitness() { unwound.fetch_add(1); }
};

int SDLCALL parking_program(void*) {
    UnwindWitness witness;
    thread_stop_program();
}

TEST_F(FrameThreads, StopProgramParksUntilStopThenEndsTheThread) {
    unwound.store(0);
    SDL_Thread* thread = SDL_CreateThread(parking_program, nullptr);
    ASSERT_NE(thread, nullptr);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while ((frame_state.finished_mask.load() & 1) == 0 && std::chrono::steady_clock::now() < deadline) frame_delay_ms(1);
    EXPECT_EQ(frame_state.finished_mask.load(), 1u);
    frame_delay_ms(40);
    EXPECT_EQ(unwound.load(), 0);  // still parked
    error_state.stop_requested.store(1);
    SDL_WaitThread(thread, nullptr);
    EXPECT_EQ(unwound.load(), 1);
}

TEST(FrameDelay, ZeroSleepsAboutAMillisecond) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 20; ++i) frame_delay_ms(0);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_GE(elapsed, std::chrono::milliseconds(20));
}

TEST(FrameDelay, SleepsTheAskedTime) {
    const auto start = std::chrono::steady_clock::now();
    frame_delay_ms(30);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

// ---------------------------------------------------------------------------------------
// Mouse ring
// ---------------------------------------------------------------------------------------

TEST(MouseQueueRing, AppendsAndDropsTheOldestWhenFull) {
    mouse_queue.write_position.store(0);
    mouse_queue.read_position.store(0);
    mouse_queue_append(MouseRecord{10, 20, 1, 3, -4});
    EXPECT_EQ(mouse_queue.write_position.load(), 1);
    EXPECT_EQ(mouse_queue.records[1].x, 10);
    EXPECT_EQ(mouse_queue.records[1].move_y, -4);
    EXPECT_EQ(mouse_queue.read_position.load(), 0);
    for (int i = 0; i < 65534; ++i) mouse_queue_append(MouseRecord{1, 1, 0, 0, 0});
    EXPECT_EQ(mouse_queue.write_position.load(), 65535);
    EXPECT_EQ(mouse_queue.read_position.load(), 0);
    // The next append reaches the read position: the oldest record is lost.
    mouse_queue_append(MouseRecord{2, 2, 0, 0, 0});
    EXPECT_EQ(mouse_queue.write_position.load(), 0);
    EXPECT_EQ(mouse_queue.read_position.load(), 1);
    mouse_queue_append(MouseRecord{3, 3, 0, 0, 0});
    EXPECT_EQ(mouse_queue.write_position.load(), 1);
    EXPECT_EQ(mouse_queue.read_position.load(), 2);
    mouse_queue.write_position.store(0);
    mouse_queue.read_position.store(0);
}

}  // namespace
