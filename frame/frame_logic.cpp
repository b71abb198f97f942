// Pure computations of the frame: argument joining, the hand-over marker, cursor planes,
// the BIOS tick count, the timer due rule and mouse buttons.
#include "frame/private/frame_logic.h"

#include <cmath>
#include <cstdio>
#include <cstring>

std::string frame_join_arguments(int argc, const char* const* argv) {
    std::string joined;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) joined += ' ';
        if (argv[i] != nullptr) joined += argv[i];
    }
    return joined;
}

bool frame_has_chain_marker(const uint8_t* text, int32_t length) {
    if (text == nullptr || length < kChainSuffixLength) return false;
    if (std::memcmp(text + length - 4, ".tmp", 4) != 0) return false;
    static constexpr char kMarkerAndName[] = "(unique-tag:=/@*$+-)chain";
    return std::memcmp(text + length - kChainSuffixLength, kMarkerAndName, sizeof kMarkerAndName - 1) == 0;
}

int32_t frame_length_without_chain(const uint8_t* text, int32_t length) {
    if (!frame_has_chain_marker(text, length)) return length;
    int32_t kept = length - kChainSuffixLength;
    if (kept > 0) --kept;  // the blank that separated the hand-over from the arguments
    return kept;
}

std::string frame_executable_folder(const std::string& executable_path) {
    const size_t cut = executable_path.rfind('/');
    if (cut == std::string::npos) return "";
    if (cut == 0) return "/";  // the root keeps its separator
    return executable_path.substr(0, cut);
}

CursorBitPlanes frame_cursor_planes(const char* const* picture) {
    CursorBitPlanes planes{};
    constexpr int kFirstRow = 4;  // after the header and the three colour lines
    for (int y = 0; y < 32; ++y) {
        const char* row = picture[kFirstRow + y];
        bool row_ended = false;
        for (int x = 0; x < 32; ++x) {
            // A row shorter than 32 characters is transparent beyond its end.
            const char c = row_ended ? ' ' : row[x];
            if (c == '\0') row_ended = true;
            const int byte = y * 4 + x / 8;
            const uint8_t bit = static_cast<uint8_t>(0x80u >> (x % 8));
            if (c == 'X') {
                planes.data[byte] |= bit;
                planes.mask[byte] |= bit;
            } else if (c == '.') {
                planes.mask[byte] |= bit;
            }
        }
    }
    int hot_x = 0;
    int hot_y = 0;
    if (std::sscanf(picture[kFirstRow + 32], "%d,%d", &hot_x, &hot_y) != 2) {
        hot_x = 0;
        hot_y = 0;
    }
    planes.hot_x = hot_x;
    planes.hot_y = hot_y;
    return planes;
}

uint32_t frame_bios_ticks(uint32_t now_ticks, uint32_t origin_ticks, uint32_t origin_ms) {
    const uint32_t ms = (now_ticks - origin_ticks + origin_ms) % kMillisecondsPerDay;
    return static_cast<uint32_t>(static_cast<int64_t>(static_cast<double>(ms) * 0.0182));
}

bool frame_timer_record_due(double now_seconds, double interval_seconds, double& last_time_seconds) {
    if (!(now_seconds - last_time_seconds > interval_seconds)) return false;
    if (last_time_seconds == 0.0) {
        last_time_seconds = now_seconds;  // the first look only starts the clock
        return false;
    }
    last_time_seconds += interval_seconds;
    // Fell behind by a whole interval or more: one occurrence, then start again from now
    // rather than catching up every missed one.
    if (std::fabs(now_seconds - last_time_seconds) >= interval_seconds) last_time_seconds = now_seconds;
    return true;
}

uint32_t frame_mouse_buttons_after(uint32_t previous, int32_t button, bool down) {
    if (button < 1 || button > 32) return previous;
    const uint32_t bit = 1u << (button - 1);
    return down ? (previous | bit) : (previous & ~bit);
}
