// The process frame: start-up, the three threads, emulated memory and the stop path.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct SDL_Thread;
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
extern uint8_t EmulatedMemory[kEmulatedMemorySize];

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

// Takes over the screen state a chaining program handed over on the command line.
void chain_receive();

// The program thread takes itself out of the process; never returns.
[[noreturn]] void thread_stop_program();

// Stops the other threads in order and exits with exit_code; main thread only.
[[noreturn]] void runtime_shutdown();

// END: the bottom-row message, a key, then shutdown. Never returns.
[[noreturn]] void program_end();
