// The frame's process-wide records: start and stop flags, emulated memory, COMMAND$,
// the mouse queue and the host resources made at start-up.
#include "frame/frame.h"
#include "frame/private/frame_host.h"

RuntimeFrameState frame_state{};

// Zero at process start; static storage keeps the 1 MB image out of the executable.
alignas(64) uint8_t EmulatedMemory[kEmulatedMemorySize];

BasicString* command_line = nullptr;

MouseQueue mouse_queue{};
std::atomic<uint32_t> motion_ignore_count{1};

SDL_Surface* composition_surface = nullptr;
BasicString* FontFallbackList[kFontFallbackCount] = {};

const SDL_PixelFormat* frame_pixel_format_32 = nullptr;
const SDL_PixelFormat* frame_pixel_format_8 = nullptr;

std::atomic<uint8_t> key_repeat_on{0};
std::atomic<uint8_t> display_status_retrace{0};
std::atomic<uint8_t> display_status_frame{0};

SDL_Cursor* frame_mouse_cursor = nullptr;
int32_t frame_environment_count = 0;
