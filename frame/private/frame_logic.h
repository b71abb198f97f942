// Pure computations of the frame (no SDL, no threads) kept apart so they can be tested.
#pragma once

#include <array>
#include <cstdint>
#include <string>

// ---------------------------------------------------------------------------------------
// Command line
// ---------------------------------------------------------------------------------------

// Arguments 1..argc-1 joined with exactly one blank between two; blanks inside an
// argument are kept as they are.
std::string frame_join_arguments(int argc, const char* const* argv);

// The hand-over marker a chaining program puts before the 12-character "chainXXX.tmp".
inline constexpr char kChainMarker[] = "(unique-tag:=/@*$+-)";
inline constexpr int32_t kChainMarkerLength = 20;
inline constexpr int32_t kChainSuffixLength = 32;   // marker + "chain" + 3 + ".tmp"

// True when the command line ends in the marker, "chain", three characters and ".tmp".
bool frame_has_chain_marker(const uint8_t* text, int32_t length);

// Length the command line keeps once the hand-over suffix (and the blank before it, if
// anything is left) is cut off.
int32_t frame_length_without_chain(const uint8_t* text, int32_t length);

// The folder of an executable's full path ("" when the path names no folder). The path
// comes from the system as an absolute POSIX path, so "/" is the only separator; colons
// and backslashes are ordinary characters of names here.
std::string frame_executable_folder(const std::string& executable_path);

// ---------------------------------------------------------------------------------------
// Mouse pointer picture
// ---------------------------------------------------------------------------------------

inline constexpr int kCursorPictureLines = 37;
extern const char* const CursorPicture[kCursorPictureLines];

struct CursorBitPlanes {
    std::array<uint8_t, 128> data;   // 1 = black where the mask is set
    std::array<uint8_t, 128> mask;   // 1 = opaque
    int32_t hot_x;
    int32_t hot_y;
};

// Turns a picture (header, three colour lines, 32 rows, hot spot) into SDL cursor planes:
// "X" black, "." white, anything else transparent; most significant bit first.
CursorBitPlanes frame_cursor_planes(const char* const* picture);

// ---------------------------------------------------------------------------------------
// Window icon: a 32 x 32, 256-colour BMP file image
// ---------------------------------------------------------------------------------------

inline constexpr size_t kIconBmpSize = 2102;
extern const std::array<uint8_t, kIconBmpSize> WindowIconBmp;

// ---------------------------------------------------------------------------------------
// BIOS tick counter
// ---------------------------------------------------------------------------------------

inline constexpr uint32_t kMillisecondsPerDay = 86400000;

// Ticks since local midnight (18.2 per second) for the tick clock reading now_ticks,
// given the clock reading and the milliseconds since midnight taken at calibration.
// Unsigned 32-bit arithmetic, so a wrapped tick clock still counts on.
uint32_t frame_bios_ticks(uint32_t now_ticks, uint32_t origin_ticks, uint32_t origin_ms);

// ---------------------------------------------------------------------------------------
// Timer traps
// ---------------------------------------------------------------------------------------

// One look at one armed, idle timer record at tick time now_seconds. Moves last_time on
// and returns true when an occurrence is due. The first look only starts the clock; a
// record that fell a whole interval or more behind becomes due once and restarts at now.
bool frame_timer_record_due(double now_seconds, double interval_seconds, double& last_time_seconds);

struct TimerPassResult {
    int32_t marked;      // records marked due in this pass
    int32_t armed;       // records in use, with a handler and switched on
    bool interrupted;    // a suspend request arrived; the pass stopped early
};

// One pass of the timer thread over the timer-trap table at tick time now_seconds:
// marks due records and raises event_pending.
TimerPassResult frame_timer_pass(double now_seconds);

// ---------------------------------------------------------------------------------------
// Mouse events
// ---------------------------------------------------------------------------------------

// Button set after button n (1-based) went down or up.
uint32_t frame_mouse_buttons_after(uint32_t previous, int32_t button, bool down);
