// display_frame end to end on SDL's dummy video driver: window size, cells in the
// surface, the lock handshake, manual display, hiding and full-screen requests.
#include <gtest/gtest.h>

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "display/display.h"
#include "display/fonts.h"
#include "display/private/decode.h"
#include "errors/errors.h"
#include "screen/screen.h"

namespace {

class DisplayFrameTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO), 0) << SDL_GetError();
        display_read_mode_list();
    }
    static void TearDownTestSuite() { SDL_Quit(); }
    void SetUp() override {
        error_state.error_number = 0;
        font_tables_init();
        screen_startup();
        AutoDisplay.store(1);
        DisplayLock.store(0);
    }
    ImageRecord* page() { return current_images.display.load(); }
    void put(int column, int row, uint8_t code, uint8_t attribute) {
        ImageRecord* p = page();
        screen_cell_store(p->pixels + (row * p->width + column) * 2, static_cast<uint16_t>(code | (attribute << 8)));
    }
    // The window's pixels as 0x00RRGGBB words.
    std::vector<uint32_t> window_pixels() {
        SDL_Surface* s = SDL_GetVideoSurface();
        std::vector<uint32_t> out;
        if (s == nullptr) return out;
        SDL_LockSurface(s);
        for (int y = 0; y < s->h; ++y) {
            for (int x = 0; x < s->w; ++x) {
                Uint32 v = 0;
                std::memcpy(&v, static_cast<uint8_t*>(s->pixels) + y * s->pitch + x * s->format->BytesPerPixel,
                            s->format->BytesPerPixel);
                Uint8 r, g, b;
                SDL_GetRGB(v, s->format, &r, &g, &b);
                out.push_back((uint32_t{r} << 16) | (uint32_t{g} << 8) | b);
            }
        }
        SDL_UnlockSurface(s);
        return out;
    }
    std::vector<DecodedCell> window_cells() {
        SDL_Surface* s = SDL_GetVideoSurface();
        const auto pixels = window_pixels();
        return display_decode_cells(pixels.data(), s->w, s->h, 80, 25, 16, PaletteVga.data(), 16);
    }
};

TEST_F(DisplayFrameTest, DefaultScreenOpens640By400AndShowsItsCells) {
    put(0, 0, 'H', 0x1F);
    put(1, 0, 'i', 0x1F);
    put(79, 24, 3, 0x0C);
    display_frame();
    SDL_Surface* s = SDL_GetVideoSurface();
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->w, 640);
    EXPECT_EQ(s->h, 400);
    const auto cells = window_cells();
    EXPECT_EQ(cells[0].code, 'H');
    EXPECT_EQ(cells[0].fg, 15);
    EXPECT_EQ(cells[0].bg, 1);
    EXPECT_EQ(cells[1].code, 'i');
    EXPECT_EQ(cells[24 * 80 + 79].code, 3);
    EXPECT_EQ(cells[24 * 80 + 79].fg, 12);
    EXPECT_EQ(cells[2].fg, kDecodeBlank);
    EXPECT_EQ(cells[2].bg, 0);
}

TEST_F(DisplayFrameTest, ManualSwitchAndDirectFrames) {
    AutoDisplay.store(-1);
    display_frame();
    EXPECT_EQ(AutoDisplay.load(), 0);
    put(5, 5, 'M', 0x0A);
    display_manual();  // already manual: draws now
    EXPECT_EQ(window_cells()[5 * 80 + 5].code, 'M');
    display_auto();
    EXPECT_EQ(AutoDisplay.load(), 1);
}

TEST_F(DisplayFrameTest, PendingLockIsGrantedAndNothingIsDrawn) {
    display_frame();
    DisplayLock.store(1);
    put(0, 0, 'Z', 0x07);
    display_frame();
    EXPECT_EQ(DisplayLock.load(), 2u);
    EXPECT_NE(window_cells()[0].code, 'Z');
    DisplayLock.store(0);
    display_frame();
    EXPECT_EQ(window_cells()[0].code, 'Z');
}

TEST_F(DisplayFrameTest, ProgramThreadTakesTheLockWhileFramesRun) {
    display_frame();
    std::atomic<int> phase{0};  // 1 lock held, 2 released
    std::thread program([&] {
        screen_display_lock_take();
        phase.store(1);
        put(3, 3, 'L', 0x07);
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        screen_display_lock_release();
        phase.store(2);
    });
    bool drawn_while_held = false;
    for (int i = 0; i < 2000 && phase.load() != 2; ++i) {
        display_frame();
        if (phase.load() == 1 && window_cells()[3 * 80 + 3].code == 'L') drawn_while_held = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    program.join();
    EXPECT_FALSE(drawn_while_held);
    display_frame();
    EXPECT_EQ(window_cells()[3 * 80 + 3].code, 'L');
    EXPECT_EQ(DisplayLock.load(), 0u);
}

TEST_F(DisplayFrameTest, HiddenWindowDrawsNothingUntilShown) {
    display_frame();
    display_hide_window();
    put(0, 1, 'Q', 0x07);
    display_frame();
    EXPECT_NE(window_cells()[80].code, 'Q');
    display_show_window();
    display_frame();
    EXPECT_EQ(window_cells()[80].code, 'Q');
}

TEST_F(DisplayFrameTest, GraphicsModeResizesTheWindowAndBack) {
    screen_mode(13, 0, 0, kScreenPassedMode);
    ASSERT_EQ(error_state.error_number, 0u);
    ImageRecord* p = page();
    ASSERT_EQ(p->width, 320);
    p->pixels[0] = 4;
    p->pixels[320 * 200 - 1] = 14;
    display_frame();
    SDL_Surface* s = SDL_GetVideoSurface();
    EXPECT_EQ(s->w, 320);
    EXPECT_EQ(s->h, 200);
    const auto pixels = window_pixels();
    EXPECT_EQ(pixels[0], 0xAA0000u);
    EXPECT_EQ(pixels.back(), 0xFFFF55u);
    screen_mode(0, 0, 0, kScreenPassedMode);
    display_frame();
    EXPECT_EQ(SDL_GetVideoSurface()->w, 640);
}

TEST_F(DisplayFrameTest, FullScreenWithoutSizesStaysInAWindow) {
    AutoDisplay.store(0);
    display_request_fullscreen(2);
    display_toggle_fullscreen();
    display_frame();
    EXPECT_EQ(display_fullscreen_mode(), 0);
    display_request_fullscreen(7);
    EXPECT_EQ(error_state.error_number, 5u);
}

}  // namespace
