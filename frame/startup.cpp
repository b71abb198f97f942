// Process start-up: the runtime's tables, SDL, the keyboard state, the window's icon,
// caption and pointer, the default screen, then the program and timer threads.
#include <SDL.h>
#include <SDL_ttf.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "display/display.h"
#include "display/fonts.h"
#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"
#include "keyboard/keyboard.h"
#include "numbers/numbers.h"
#include "platform/platform.h"
#include "screen/screen.h"
#include "strings/strings.h"

extern char** environ;

int SDLCALL frame_program_thread_entry(void*) {
    program_main();
    // program_main ends through END; a program that runs off its end still ends the
    // process in order.
    frame_state.exit_requested.store(1);
    thread_stop_program();
}

namespace {

SDL_PixelFormat pixel_format_32_storage{};
SDL_PixelFormat pixel_format_8_storage{};

// Relative file names of the program are relative to the executable's folder.
void startup_working_directory() {
    const std::string folder = frame_executable_folder(platform_module_path());
    if (folder.empty()) return;
    if (chdir(folder.c_str()) != 0) {
        // The folder stays as the process found it.
    }
}

void startup_count_environment() {
    int32_t count = 0;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) ++count;
    frame_environment_count = count;
}

// The font tables also hold the working palettes and font copies.
void startup_tables() {
    font_tables_init();
    string_engine_init();
}

void startup_command_line(int argc, char** argv) {
    const std::string joined = frame_join_arguments(argc, argv);
    command_line = string_new(static_cast<int32_t>(joined.size()), false);
    if (command_line != nullptr && !joined.empty()) std::memcpy(command_line->text, joined.data(), joined.size());
}

// An X server now and then drops a connection while it is being set up; SDL then quietly
// falls back to an off-screen video driver and the window never appears. When an X
// display is named and no driver was asked for, video is started again a few times.
void startup_video_on_x11() {
    if (std::getenv("DISPLAY") == nullptr || std::getenv("SDL_VIDEODRIVER") != nullptr) return;
    constexpr int kAttempts = 5;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        char name[32] = "";
        if (SDL_VideoDriverName(name, sizeof name) != nullptr && std::strcmp(name, "x11") == 0) return;
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
        frame_delay_ms(10);
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) < 0) {
            std::fprintf(stderr, "Unable to init SDL: %s\n", SDL_GetError());
            std::exit(100);
        }
    }
}

// Audio is optional: the sound device opens lazily, and a machine without a working
// audio device still runs the program silently. It is started on its own after the rest,
// so that its failure leaves the video and timer set-up untouched.
void startup_sdl() {
    constexpr Uint32 kEssential = SDL_INIT_TIMER | SDL_INIT_VIDEO | SDL_INIT_CDROM;
    if (SDL_Init(kEssential) < 0) {
        std::fprintf(stderr, "Unable to init SDL: %s\n", SDL_GetError());
        std::exit(100);
    }
    std::atexit(SDL_Quit);
    startup_video_on_x11();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) < 0) SDL_ClearError();
}

void startup_truetype() {
    if (TTF_Init() == -1) std::exit(7000);
    std::atexit(TTF_Quit);
}

void startup_composition_surface() {
    composition_surface = SDL_CreateRGBSurface(SDL_SWSURFACE, 2048, 32, 32, 0, 0, 0, 0);
    if (composition_surface == nullptr) std::exit(601);
}

void startup_font_fallbacks() {
    const char* windows_folder = std::getenv("WinDir");
    const std::string base = windows_folder != nullptr ? windows_folder : "";
    const std::string paths[kFontFallbackCount] = {
        "cyberbit.ttf",
        base + "\\fonts\\cyberbit.ttf",
        base + "\\fonts\\arialuni.ttf",
        base + "\\fonts\\msmincho.ttf",
    };
    for (int i = 0; i < kFontFallbackCount; ++i) {
        BasicString* path = string_new(static_cast<int32_t>(paths[i].size()), false);
        if (path != nullptr) std::memcpy(path->text, paths[i].data(), paths[i].size());
        FontFallbackList[i] = path;
    }
}

void startup_key_repeat() {
    SDL_EnableKeyRepeat(kKeyRepeatDelayMs, kKeyRepeatIntervalMs);
    key_repeat_on.store(1);
    SDL_EnableUNICODE(1);
}

// Head and tail offsets are 16-bit words whose high bytes stay 0.
void startup_empty_key_ring() {
    for (uint32_t address : {kBiosKeyHead, kBiosKeyTail}) {
        std::atomic_ref<uint8_t>(EmulatedMemory[address]).store(kBiosKeyRingFirst);
        std::atomic_ref<uint8_t>(EmulatedMemory[address + 1]).store(0);
    }
}

void startup_window_identity() {
    SDL_RWops* stream = SDL_RWFromConstMem(WindowIconBmp.data(), static_cast<int>(WindowIconBmp.size()));
    if (stream != nullptr) {
        SDL_Surface* icon = SDL_LoadBMP_RW(stream, 0);
        SDL_RWclose(stream);
        if (icon != nullptr) {
            SDL_WM_SetIcon(icon, nullptr);
            SDL_FreeSurface(icon);
        }
    }
    SDL_WM_SetCaption("Untitled", nullptr);
}

void startup_mouse_position() {
    int x = 0;
    int y = 0;
    SDL_GetMouseState(&x, &y);
    mouse_queue.records[0] = MouseRecord{static_cast<uint16_t>(x), static_cast<uint16_t>(y), 0, 0, 0};
}

void startup_mouse_pointer() {
    CursorBitPlanes planes = frame_cursor_planes(CursorPicture);
    frame_mouse_cursor = SDL_CreateCursor(planes.data.data(), planes.mask.data(), 32, 32, planes.hot_x, planes.hot_y);
    if (frame_mouse_cursor != nullptr) SDL_SetCursor(frame_mouse_cursor);
}

// The formats outlive their surfaces; the 8-bit one's palette went with its surface.
void startup_pixel_formats() {
    SDL_Surface* wide = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000);
    if (wide != nullptr) {
        pixel_format_32_storage = *wide->format;
        pixel_format_32_storage.palette = nullptr;
        frame_pixel_format_32 = &pixel_format_32_storage;
        SDL_FreeSurface(wide);
    }
    SDL_Surface* indexed = SDL_CreateRGBSurface(SDL_SWSURFACE, 8, 8, 8, 0, 0, 0, 0);
    if (indexed != nullptr) {
        pixel_format_8_storage = *indexed->format;
        pixel_format_8_storage.palette = nullptr;
        frame_pixel_format_8 = &pixel_format_8_storage;
        SDL_FreeSurface(indexed);
    }
}

bool startup_threads() {
    frame_state.program_thread = SDL_CreateThread(frame_program_thread_entry, nullptr);
    if (frame_state.program_thread == nullptr) {
        std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
        return false;
    }
    frame_state.timer_thread = SDL_CreateThread(TimerThread, nullptr);
    if (frame_state.timer_thread == nullptr) {
        std::fprintf(stderr, "Unable to create thread: %s\n", SDL_GetError());
        return false;
    }
    frame_state.threads_running.store(1);
    return true;
}

}  // namespace

bool frame_startup(int argc, char** argv) {
    // The timer-trap table needs nothing here: its record 0 starts out as the program's
    // ON TIMER trap (in use, no handler, off).
    key_tables_init();
    startup_working_directory();
    startup_count_environment();
    startup_tables();
    startup_command_line(argc, argv);
    startup_sdl();
    timer_calibrate();
    startup_truetype();
    key_startup_state();
    startup_composition_surface();
    startup_font_fallbacks();
    display_read_mode_list();
    startup_key_repeat();
    startup_empty_key_ring();
    startup_window_identity();
    startup_mouse_position();
    startup_mouse_pointer();
    startup_pixel_formats();
    screen_startup();
    return startup_threads();
}

int runtime_start(int argc, char** argv) {
    if (!frame_startup(argc, argv)) return 0;
    DisplayLoop();
}
