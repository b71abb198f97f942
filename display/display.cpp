// Display composition: presents the display page in the window once per frame, with
// the window / full-screen cycle and the manual and automatic display statements.
#include "display/display.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "display/fonts.h"
#include "display/private/compose.h"
#include "errors/errors.h"
#include "frame/frame.h"
#include "screen/screen.h"

std::atomic<int32_t> AutoDisplay{1};

namespace {

struct DisplayWindowState {
    int32_t window_width = 0;
    int32_t window_height = 0;
    SDL_Surface* screen = nullptr;
    bool use_conversion = false;
    std::vector<uint32_t> conversion;       // window-sized 0x00RRGGBB words
    std::vector<DisplaySize> fullscreen_sizes;
    bool window_info_read = false;
    SDL_SysWMinfo window_info{};
};

DisplayWindowState display_window;
DisplayComposeState display_compose;
std::atomic<int32_t> display_fullscreen{0};          // current mode, read by other threads
std::atomic<int32_t> display_fullscreen_request{-1};  // wanted mode, -1 none
std::atomic<int32_t> display_toggle_count{0};
std::atomic<uint8_t> display_hidden{0};
std::atomic<uint8_t> display_invalid_request{1};

bool display_page_view(DisplayPageView& view) {
    ImageRecord* page = current_images.display.load();
    if (page == nullptr || !page->in_use || page->pixels == nullptr) return false;
    view.identity = page;
    view.is_text = page->is_text != 0;
    view.width = page->width;
    view.height = page->height;
    view.bytes_per_pixel = page->bytes_per_pixel;
    view.bits_per_pixel = page->bits_per_pixel;
    view.mode = page->mode;
    view.font = image_field_load(page->font);
    view.cursor_x = image_field_load(page->cursor_x);
    view.cursor_y = image_field_load(page->cursor_y);
    view.cursor_visible = image_field_load(page->cursor_visible) != 0;
    view.cursor_start = image_field_load(page->cursor_start);
    view.cursor_stop = image_field_load(page->cursor_stop);
    view.wrap_state = image_field_load(page->wrap_state);
    view.pixels = page->pixels;
    view.palette = page->palette;
    return true;
}

// The window changes size or switches between window and full screen.
void display_set_video_mode(int32_t width, int32_t height) {
    motion_ignore_count.store(65536);
    display_window.screen = SDL_SetVideoMode(width, height, 32, display_fullscreen.load() ? SDL_FULLSCREEN : 0);
    motion_ignore_count.store(4);
    display_window.window_width = width;
    display_window.window_height = height;
    if (!display_window.window_info_read && display_window.screen != nullptr) {
        SDL_VERSION(&display_window.window_info.version);
        display_window.window_info_read = SDL_GetWMInfo(&display_window.window_info) > 0;
    }
    mouse_resync();
    SDL_Surface* s = display_window.screen;
    display_window.use_conversion =
        s != nullptr && (s->format->BitsPerPixel != 32 || s->format->Rmask != 0xFF0000 || s->format->Gmask != 0xFF00 ||
                         s->format->Bmask != 0xFF || s->pitch != width * 4);
    if (display_window.use_conversion) {
        display_window.conversion.assign(static_cast<size_t>(width) * height, 0);
    } else {
        display_window.conversion.clear();
    }
    display_compose.frame_valid = false;
}

// Copies the conversion buffer into the surface's own channel layout.
void display_convert_to_surface(SDL_Surface* s) {
    const SDL_PixelFormat* f = s->format;
    const int32_t bytes = f->BytesPerPixel;
    for (int32_t y = 0; y < display_window.window_height && y < s->h; ++y) {
        uint8_t* row = static_cast<uint8_t*>(s->pixels) + static_cast<size_t>(y) * s->pitch;
        const uint32_t* src = display_window.conversion.data() + static_cast<size_t>(y) * display_window.window_width;
        for (int32_t x = 0; x < display_window.window_width && x < s->w; ++x) {
            const uint32_t c = src[x];
            const uint32_t value = SDL_MapRGB(const_cast<SDL_PixelFormat*>(f), (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
            std::memcpy(row + x * bytes, &value, static_cast<size_t>(bytes));  // little-endian host
        }
    }
}

// Step of the full-screen cycle or a pending request. Returns true when the mode changed.
bool display_apply_fullscreen_change(FullscreenChoice choice) {
    int32_t wanted = display_fullscreen_request.load();
    const bool from_request = wanted >= 0;
    if (!from_request) {
        int32_t toggles = display_toggle_count.load();
        if (toggles <= 0) return false;
        while (toggles > 0 && !display_toggle_count.compare_exchange_weak(toggles, toggles - 1)) {
        }
        wanted = (display_fullscreen.load() + 1) % 3;
    }
    const int32_t next = display_fullscreen_resolve(wanted, display_window.fullscreen_sizes, choice);
    bool changed = false;
    if (next >= 0 && next != display_fullscreen.load()) {
        display_fullscreen.store(next);
        if (next != 0) SDL_WM_GrabInput(SDL_GRAB_OFF);  // a grabbed pointer would be stuck in full screen
        SDL_ShowCursor(next != 0 ? SDL_DISABLE : SDL_ENABLE);
        changed = true;
        display_compose.frame_valid = false;
    }
    if (from_request) display_fullscreen_request.store(-1);
    return changed;
}

// The end of every frame: answer a lock request and leave the manual switch-over.
void display_frame_end() {
    if (screen_display_lock_grant()) SDL_Delay(1);
    int32_t expected = -1;
    AutoDisplay.compare_exchange_strong(expected, 0);
}

// Waits for the main loop to take a full-screen request.
void display_fullscreen_attempt(int32_t wanted) {
    display_fullscreen_request.store(wanted);
    // While the main loop still presents (1, or -1 for one more frame) it must be the one
    // to draw: two threads composing at once would share the frame state.
    if (AutoDisplay.load() != 0) {
        while (display_fullscreen_request.load() != -1 && !frame_state.exit_requested.load() &&
               !error_state.stop_requested.load()) {
            SDL_Delay(32);
        }
    } else {
        display_frame();
    }
}

// Runs an Xlib call on the window's frame under SDL's display lock (X11 only).
void display_x11_window_call(int (*call)(Display*, Window)) {
    if (!display_window.window_info_read || display_window.window_info.subsystem != SDL_SYSWM_X11) return;
    auto& x11 = display_window.window_info.info.x11;
    if (x11.lock_func) x11.lock_func();
    call(x11.display, x11.wmwindow);
    XFlush(x11.display);
    if (x11.unlock_func) x11.unlock_func();
}

}  // namespace

void display_frame() {
    ++display_compose.frame_counter;
    if (display_invalid_request.exchange(0)) display_compose.frame_valid = false;
    const bool locked = screen_display_lock_grant();  // the end of the frame lets the holder run

    DisplayPageView page{};
    if (display_hidden.load() || locked || !display_page_view(page)) {
        display_frame_end();
        return;
    }
    const DisplaySize picture = display_picture_size(page);
    if (picture.width <= 0 || picture.height <= 0) {
        display_frame_end();
        return;
    }
    const FullscreenChoice choice = display_choose_fullscreen(display_window.fullscreen_sizes, picture);
    const bool mode_changed = display_apply_fullscreen_change(choice);
    const DisplaySize size = display_place(display_compose, picture, display_fullscreen.load(),
                                           display_window.fullscreen_sizes, choice);
    if (mode_changed || size.width != display_window.window_width || size.height != display_window.window_height ||
        display_window.screen == nullptr) {
        display_set_video_mode(size.width, size.height);
    }
    SDL_Surface* s = display_window.screen;
    if (s == nullptr) {
        display_frame_end();
        return;
    }
    if (SDL_MUSTLOCK(s) && SDL_LockSurface(s) != 0) {
        display_frame_end();
        return;
    }
    DisplayTarget target{display_window.use_conversion ? display_window.conversion.data()
                                                       : static_cast<uint32_t*>(s->pixels),
                         display_window.window_width, display_window.window_height};
    if (!display_compose.frame_valid) {
        std::fill(target.pixels, target.pixels + static_cast<size_t>(target.width) * target.height, 0u);
    }

    bool present = true;
    if (page.is_text) {
        present = display_compose_text(display_compose, page, target);
    } else if (page.bytes_per_pixel == 4) {
        display_compose_rgb32(display_compose, page, target);
    } else {
        if (page.mode == 10 && page.palette != nullptr) display_mode10_palette(page.palette, SDL_GetTicks());
        present = display_compose_indexed(display_compose, page, target);
    }
    if (present && display_window.use_conversion) display_convert_to_surface(s);
    if (SDL_MUSTLOCK(s)) SDL_UnlockSurface(s);
    if (present) SDL_UpdateRect(s, 0, 0, 0, 0);
    display_compose.frame_valid = true;
    display_frame_end();
}

void display_manual() {
    if (AutoDisplay.load() != 0) {
        AutoDisplay.store(-1);
        // A stop request ends the wait too: the loop stops presenting once shutdown begins.
        while (AutoDisplay.load() != 0 && !frame_state.exit_requested.load() && !error_state.stop_requested.load()) {
            SDL_Delay(1);
        }
    } else {
        display_frame();
    }
}

void display_auto() { AutoDisplay.store(1); }

void display_request_fullscreen(int32_t kind) {
    int32_t wanted = 0;
    switch (kind) {
        case 1: wanted = 0; break;
        case 0:
        case 2: wanted = 1; break;
        case 3: wanted = 2; break;
        default: error_raise(kErrorIllegalFunctionCall); return;
    }
    if (display_fullscreen.load() == wanted) return;
    display_fullscreen_attempt(wanted);
    if (display_fullscreen.load() != wanted && wanted != 0) display_fullscreen_attempt(wanted == 1 ? 2 : 1);
}

void display_toggle_fullscreen() { display_toggle_count.fetch_add(1); }

int32_t display_fullscreen_mode() { return display_fullscreen.load(); }

void display_hide_window() {
    display_hidden.store(1);
    display_x11_window_call(XUnmapWindow);
}

void display_show_window() {
    display_x11_window_call(XMapWindow);
    display_invalid_request.store(1);
    display_hidden.store(0);
}

void display_invalidate() { display_invalid_request.store(1); }

void display_read_mode_list() {
    display_window.fullscreen_sizes.clear();
    SDL_Rect** modes = SDL_ListModes(nullptr, SDL_FULLSCREEN | SDL_HWSURFACE);
    if (modes == nullptr || modes == reinterpret_cast<SDL_Rect**>(-1)) return;  // none, or any size
    for (size_t i = 0; modes[i] != nullptr; ++i) display_window.fullscreen_sizes.push_back({modes[i]->w, modes[i]->h});
}
