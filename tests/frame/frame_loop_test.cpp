// Tests of the display loop's passes on the dummy video driver: present and event passes
// alternate, close requests, mouse records, key events, the hidden window, the suspend
// handshake and the BIOS tick counter.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <thread>

#include "display/display.h"
#include "display/fonts.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"
#include "keyboard/keyboard.h"
#include "numbers/numbers.h"
#include "screen/screen.h"
#include "strings/strings.h"

namespace {

class FrameLoop : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_TIMER), 0) << SDL_GetError();
        font_tables_init();
        string_engine_init();
        key_tables_init();
        timer_calibrate();
        screen_startup();
    }
    static void TearDownTestSuite() { SDL_Quit(); }

    void SetUp() override {
        AutoDisplay.store(1);
        frame_state.close_intercept.store(1);  // a close request must never end the test
        frame_state.close_requests.store(0);
        frame_state.window_hidden_state.store(0);
        frame_state.exit_requested.store(0);
        drain();  // the first frame opens the window, which ignores the next motions
        motion_ignore_count.store(0);
    }

    // Runs passes until an event pass has handled everything pushed so far.
    void drain() {
        for (int i = 0; i < 2; ++i) frame_loop_pass(parity);
        while (key_hit_pop() != 0) {
        }
    }

    static void push(SDL_Event event) { ASSERT_EQ(SDL_PushEvent(&event), 0) << SDL_GetError(); }

    const MouseRecord& record_back(int steps) const {
        return mouse_queue.records[static_cast<uint16_t>(mouse_queue.write_position.load() - steps)];
    }

    uint32_t parity = 0;
};

TEST_F(FrameLoop, PresentAndEventPassesAlternateStartingWithAPresent) {
    uint32_t fresh_parity = 0;
    const FrameLoopPass first = frame_loop_pass(fresh_parity);
    EXPECT_TRUE(first.presented);
    EXPECT_FALSE(first.events_handled);
    const FrameLoopPass second = frame_loop_pass(fresh_parity);
    EXPECT_FALSE(second.presented);
    EXPECT_TRUE(second.events_handled);
    EXPECT_TRUE(frame_loop_pass(fresh_parity).presented);
}

TEST_F(FrameLoop, ManualDisplayLeavesPresentingToTheProgram) {
    AutoDisplay.store(0);
    uint32_t fresh_parity = 0;
    EXPECT_FALSE(frame_loop_pass(fresh_parity).presented);
    AutoDisplay.store(1);
}

TEST_F(FrameLoop, APassSleepsAboutSixteenMilliseconds) {
    const uint32_t start = SDL_GetTicks();
    for (int i = 0; i < 10; ++i) frame_loop_pass(parity);
    EXPECT_GE(SDL_GetTicks() - start, 160u);
}

TEST_F(FrameLoop, InterceptedCloseOnlyRecordsTheRequest) {
    SDL_Event quit{};
    quit.type = SDL_QUIT;
    push(quit);
    drain();
    EXPECT_EQ(frame_state.close_requests.load(), 1u);
    EXPECT_EQ(frame_state.exit_requested.load(), 0);
}

TEST_F(FrameLoop, MotionMakesTwoRecordsTheSecondWithoutMovement) {
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 100;
    motion.motion.y = 50;
    motion.motion.xrel = 3;
    motion.motion.yrel = -2;
    motion.motion.state = SDL_BUTTON(1);
    const uint16_t before = mouse_queue.write_position.load();
    push(motion);
    drain();
    ASSERT_EQ(static_cast<uint16_t>(mouse_queue.write_position.load() - before), 2);
    EXPECT_EQ(record_back(1).x, 100);
    EXPECT_EQ(record_back(1).y, 50);
    EXPECT_EQ(record_back(1).buttons, 1u);
    EXPECT_EQ(record_back(1).move_x, 3);
    EXPECT_EQ(record_back(1).move_y, -2);
    EXPECT_EQ(record_back(0).x, 100);
    EXPECT_EQ(record_back(0).move_x, 0);
    EXPECT_EQ(record_back(0).move_y, 0);
}

TEST_F(FrameLoop, MotionAfterAModeChangeRecordsNoMovement) {
    motion_ignore_count.store(1);
    SDL_Event motion{};
    motion.type = SDL_MOUSEMOTION;
    motion.motion.x = 7;
    motion.motion.y = 8;
    motion.motion.xrel = 5;
    motion.motion.yrel = 5;
    push(motion);
    drain();
    EXPECT_EQ(record_back(1).move_x, 0);
    EXPECT_EQ(record_back(1).move_y, 0);
    EXPECT_EQ(motion_ignore_count.load(), 0u);
}

TEST_F(FrameLoop, ButtonsSetAndClearTheirBitsOnThePreviousRecord) {
    SDL_Event button{};
    button.type = SDL_MOUSEBUTTONDOWN;
    button.button.button = 3;
    button.button.x = 30;
    button.button.y = 40;
    push(button);
    drain();
    EXPECT_EQ(record_back(0).buttons & 4u, 4u);
    EXPECT_EQ(record_back(0).x, 30);
    button.type = SDL_MOUSEBUTTONUP;
    push(button);
    drain();
    EXPECT_EQ(record_back(0).buttons & 4u, 0u);
}

TEST_F(FrameLoop, KeyEventsReachTheKeyHitQueue) {
    SDL_Event key{};
    key.type = SDL_KEYDOWN;
    key.key.keysym.sym = SDLK_a;
    key.key.keysym.unicode = 'a';
    push(key);
    key.type = SDL_KEYUP;
    push(key);
    for (int i = 0; i < 2; ++i) frame_loop_pass(parity);
    EXPECT_EQ(key_hit_pop(), 97);
    EXPECT_EQ(key_hit_pop(), -97);
}

TEST_F(FrameLoop, HiddenWindowPresentsOnceThenNeitherPresentsNorPolls) {
    frame_state.window_hidden_state.store(1);
    const FrameLoopPass first = frame_loop_pass(parity);
    EXPECT_TRUE(first.presented);
    EXPECT_FALSE(first.events_handled);
    EXPECT_EQ(frame_state.window_hidden_state.load(), -1);
    EXPECT_EQ(key_repeat_on.load(), 0);
    const FrameLoopPass hidden = frame_loop_pass(parity);
    EXPECT_FALSE(hidden.presented);
    EXPECT_FALSE(hidden.events_handled);
    frame_state.window_hidden_state.store(0);
    drain();
}

TEST_F(FrameLoop, SuspendHandshakeHoldsThePassUntilReleased) {
    std::atomic<bool> released{false};
    frame_state.display_suspend.store(1);
    std::thread holder([&] {
        while (frame_state.display_suspend.load() != 2) SDL_Delay(1);
        SDL_Delay(30);
        released.store(true);
        frame_state.display_suspend.store(0);
    });
    frame_loop_pass(parity);
    EXPECT_TRUE(released.load());
    holder.join();
}

TEST_F(FrameLoop, PassKeepsTheBiosTickCounterCurrent) {
    frame_loop_pass(parity);
    const uint32_t expected = frame_bios_ticks(SDL_GetTicks(), timer_origin_ticks, timer_origin_ms) & 0xFFFFFF;
    const uint32_t stored = EmulatedMemory[kBiosTickCounter] | EmulatedMemory[kBiosTickCounter + 1] << 8 |
                            EmulatedMemory[kBiosTickCounter + 2] << 16;
    EXPECT_LE(expected - stored, 1u);  // at most one tick passed since the pass stored it
    EXPECT_EQ(EmulatedMemory[kBiosTickCounter + 3], 0);
}

}  // namespace
