// The process frame: start-up, the three threads, emulated memory and the stop path.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct SDL_Thread;
struct SDL_Surface;
struct SDL_PixelFormat;
struct BasicString;

// Process-wide start and stop flags shared by the main, program and timer threads.
struct RuntimeFrameState {
    SDL_Thread* program_thread;
    SDL_Thread* timer_thread;
    std::atomic<uint32_t> threads_running;
    std::atomic<uint8_t> exit_requested;
    std::atomic<uint32_t> finished_mask;     // bit 0 program thread parked, bit 1 timer thread returned
    std::atomic<uint32_t> close_intercept;
    std::atomic<uint32_t> close_requests;    // bit 0 close button, bit 1 break key
    std::atomic<int32_t> exit_code;
    std::atomic<uint32_t> display_suspend;   // 0 idle, 1 requested, 2 granted
    std::atomic<uint32_t> timer_suspend;
    std::atomic<int32_t> window_hidden_state;
};

extern RuntimeFrameState frame_state;

// The PC's real-mode address space: the first megabyte and the 65,523 bytes above it.
// Addresses are linear (segment * 16 + offset). Bytes that more than one thread touches
// (BIOS keyboard area, tick counter) are accessed through std::atomic_ref.
inline constexpr size_t kEmulatedMemorySize = 1114099;
alignas(64) extern uint8_t EmulatedMemory[kEmulatedMemorySize];

inline constexpr uint32_t kBiosTickCounter = 0x46C;
inline constexpr uint32_t kDataSegmentBase = 0x500;  // the emulated 64 KB data segment

// COMMAND$: the arguments joined by single spaces (shortened by chain_receive).
extern BasicString* command_line;

// Process entry: prepares the runtime, starts the threads and becomes the display loop.
int runtime_start(int argc, char** argv);

// The translated program; every program executable defines it. Runs on the ProgramThread.
void program_main();

// First steps of every program_main before its first statement.
void program_prologue();

// The temporary-string mark program_prologue took; the program releases down to it.
extern int32_t program_temporary_mark;

// Takes over the screen state a chaining program handed over on the command line.
void chain_receive();

// The program thread takes itself out of the process; never returns.
[[noreturn]] void thread_stop_program();

// Stops the other threads in order and exits with exit_code; main thread only.
[[noreturn]] void runtime_shutdown();

// END: the bottom-row message, a key, then shutdown. Never returns.
[[noreturn]] void program_end();

// Sleeps the calling thread: platform_sleep_ms under the name the frame's loops use. 0
// stands for "let others run" and sleeps about 1 ms, so a poll written as a yield never
// spins a core.
// (The runtime keeps its own name for it rather than defining SDL_Delay: a definition in
// the executable would also replace SDL_Delay for SDL_mixer and the other libraries.)
void frame_delay_ms(uint32_t duration_ms);

// The main thread's loop for the rest of the run: events, frames, ticks. Never returns.
[[noreturn]] void DisplayLoop();

// The timer thread's body: marks ON TIMER traps due until the program must stop.
int TimerThread(void* unused);

// ---------------------------------------------------------------------------------------
// Mouse queue: a ring of 65536 records filled by the display loop.
// ---------------------------------------------------------------------------------------

struct MouseRecord {
    uint16_t x;
    uint16_t y;
    uint32_t buttons;   // bit n-1 for SDL button n
    int16_t move_x;
    int16_t move_y;
};

inline constexpr size_t kMouseQueueSize = 65536;

struct MouseQueue {
    MouseRecord records[kMouseQueueSize];
    std::atomic<uint16_t> write_position;
    std::atomic<uint16_t> read_position;
};
extern MouseQueue mouse_queue;

// Coming motion events whose movement is recorded as 0 (set around video-mode changes).
extern std::atomic<uint32_t> motion_ignore_count;

// Appends a record; a full ring drops its oldest unread record. Main thread.
void mouse_queue_append(const MouseRecord& record);

// Appends the current pointer position with no movement and the previous buttons, and
// marks everything read. Main thread.
void mouse_resync();

// ---------------------------------------------------------------------------------------
// Host resources made at start-up
// ---------------------------------------------------------------------------------------

// 2048 x 32, 32-bit: the input-method composition text is drawn here and overlaid.
extern SDL_Surface* composition_surface;

// Fonts tried, in order, for the composition text.
inline constexpr int kFontFallbackCount = 4;
extern BasicString* FontFallbackList[kFontFallbackCount];

// Pixel formats for SDL surfaces made of images: 32-bit ARGB and 8-bit indexed (the
// 8-bit one carries no palette; whoever makes a surface gives it one).
extern const SDL_PixelFormat* frame_pixel_format_32;
extern const SDL_PixelFormat* frame_pixel_format_8;

// Whether SDL key repeat is on (it follows the window's focus).
extern std::atomic<uint8_t> key_repeat_on;

// The emulated display-status port's retrace flags: both raised before each pass's
// last sleep; the frame flag is lowered after the present step. Read by port emulation.
extern std::atomic<uint8_t> display_status_retrace;
extern std::atomic<uint8_t> display_status_frame;
