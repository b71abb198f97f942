// PLAY: reads a music string and builds it into one sample buffer that the tone queue plays.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "sound/private/sound_private.h"
#include "sound/sound.h"
#include "strings/strings.h"

PlaySettings play_settings = kPlayStartSettings;
PlayVariableArea play_variable_area{EmulatedMemory + kDataSegmentBase, 0x10000};

namespace {

// A music string larger than this (about 6.7 hours) would not fit the mixer's chunk length.
constexpr uint64_t kPlayMaxBufferBytes = 0x80000000u;

enum class PlayCommand : uint8_t { none, note, length, octave, volume, tempo, note_number, mode, pause };
enum class PlayNumber : uint8_t { none, digits, reference };

// How a step went: on, or failed (error 5 or out of memory already decided).
enum class PlayStep : uint8_t { ok, fail };

struct PlayBuild {
    uint8_t* buffer = nullptr;
    uint64_t capacity = 0;
    uint64_t write_offset = 0;
    bool content = false;
    PlayCommand pending = PlayCommand::none;
    double note_index = 0;  // semitones from the A of octave 2
    bool sharp_applied = false;
    int64_t number = 0;
    PlayNumber number_state = PlayNumber::none;
    uint32_t dots = 0;
    double default_seconds = 0;
    int32_t error = 0;  // error to raise when the string fails

    PlayBuild() = default;
    PlayBuild(const PlayBuild&) = delete;
    PlayBuild& operator=(const PlayBuild&) = delete;
    ~PlayBuild() { std::free(buffer); }  // anything not handed to the queue is dropped
};

double play_seconds_for_length(double length) { return (1.0 / (play_settings.tempo / 60.0)) * (4.0 / length); }

void play_recompute_default(PlayBuild& build) {
    build.default_seconds = play_seconds_for_length(play_settings.default_length);
}

PlayStep play_fail(PlayBuild& build, int32_t error = kErrorIllegalFunctionCall) {
    build.error = error;
    return PlayStep::fail;
}

uint8_t play_upper(uint8_t c) { return (c >= 'a' && c <= 'z') ? static_cast<uint8_t>(c - 32) : c; }

// Grows the buffer to at least end bytes; new bytes are zero.
PlayStep play_grow(PlayBuild& build, uint64_t end) {
    if (end <= build.capacity) return PlayStep::ok;
    if (end > kPlayMaxBufferBytes) return play_fail(build, kErrorOutOfMemory);
    auto* grown = static_cast<uint8_t*>(std::realloc(build.buffer, end));
    if (grown == nullptr) return play_fail(build, kErrorOutOfMemory);
    std::memset(grown + build.capacity, 0, end - build.capacity);
    build.buffer = grown;
    build.capacity = end;
    return PlayStep::ok;
}

// Puts samples at the write offset: copied at the end of the buffer, mixed (added and
// clamped) where they overlap earlier notes.
PlayStep play_place(PlayBuild& build, uint8_t* samples, uint32_t bytes) {
    if (build.buffer == nullptr) {
        build.buffer = samples;
        build.capacity = bytes;
        build.write_offset = 0;
        return PlayStep::ok;
    }
    const bool mixing = build.write_offset != build.capacity;
    if (play_grow(build, build.write_offset + bytes) == PlayStep::fail) {
        std::free(samples);
        return PlayStep::fail;
    }
    uint8_t* target = build.buffer + build.write_offset;
    if (mixing) {
        const uint32_t count = bytes / 2;
        for (uint32_t i = 0; i < count; ++i) {
            int16_t existing;
            int16_t added;
            std::memcpy(&existing, target + 2 * i, 2);
            std::memcpy(&added, samples + 2 * i, 2);
            int32_t sum = static_cast<int32_t>(existing) + added;
            if (sum > 32767) sum = 32767;
            if (sum < -32767) sum = -32767;
            const auto stored = static_cast<int16_t>(sum);
            std::memcpy(target + 2 * i, &stored, 2);
        }
    } else {
        std::memcpy(target, samples, bytes);
    }
    std::free(samples);
    return PlayStep::ok;
}

// Note or rest length in seconds from the pending number (0 = default) and the dots.
PlayStep play_duration(PlayBuild& build, bool zero_allowed, double& seconds) {
    seconds = build.default_seconds;
    if (build.number_state != PlayNumber::none) {
        const int64_t n = build.number;
        if (n < (zero_allowed ? 0 : 1) || n > 64) return play_fail(build);
        if (n != 0) seconds = play_seconds_for_length(static_cast<double>(n));
    }
    double half = seconds;
    for (uint32_t i = 0; i < build.dots; ++i) {
        half /= 2;
        seconds += half;
        if (half == 0.0) break;  // further dots add nothing
    }
    build.dots = 0;
    build.number_state = PlayNumber::none;
    return PlayStep::ok;
}

void play_finish_item(PlayBuild& build, uint64_t bytes, bool chord) {
    if (!chord) build.write_offset += bytes;
    build.content = true;
    build.sharp_applied = false;
    build.pending = PlayCommand::none;
}

PlayStep play_note(PlayBuild& build, bool chord) {
    double seconds = 0;
    if (play_duration(build, true, seconds) == PlayStep::fail) return PlayStep::fail;
    const double frequency_hz = std::pow(2.0, build.note_index / 12.0) * 440.0;
    const double gap = play_settings.gap;
    uint8_t* samples = sound_generate_tone(frequency_hz, (1.0 - gap) * seconds, play_settings.volume / 100.0);
    if (samples == nullptr) return play_fail(build, kErrorOutOfMemory);
    uint64_t bytes = sound_last_generated_bytes;
    if (gap > 0) {
        const uint32_t gap_bytes = sound_seconds_to_bytes(seconds * gap);
        auto* longer = static_cast<uint8_t*>(std::realloc(samples, bytes + gap_bytes));
        if (longer == nullptr) {
            std::free(samples);
            return play_fail(build, kErrorOutOfMemory);
        }
        std::memset(longer + bytes, 0, gap_bytes);
        samples = longer;
        bytes += gap_bytes;
    }
    if (play_place(build, samples, static_cast<uint32_t>(bytes)) == PlayStep::fail) return PlayStep::fail;
    play_finish_item(build, bytes, chord);
    return PlayStep::ok;
}

PlayStep play_rest(PlayBuild& build, bool chord) {
    double seconds = 0;
    if (play_duration(build, false, seconds) == PlayStep::fail) return PlayStep::fail;
    const uint32_t bytes = sound_seconds_to_bytes(seconds);
    if (build.buffer == nullptr) {
        build.buffer = static_cast<uint8_t*>(std::calloc(bytes, 1));
        if (build.buffer == nullptr) return play_fail(build, kErrorOutOfMemory);
        build.capacity = bytes;
        build.write_offset = 0;
    } else if (play_grow(build, build.write_offset + bytes) == PlayStep::fail) {
        return PlayStep::fail;
    }
    play_finish_item(build, bytes, chord);
    return PlayStep::ok;
}

// Hands the buffer (its whole capacity) to the queue; with no free slot it is lost.
void play_flush(PlayBuild& build) {
    if (build.content) {
        sound_queue_samples(build.buffer, static_cast<uint32_t>(build.capacity), false);
    } else {
        std::free(build.buffer);
    }
    build.buffer = nullptr;
    build.capacity = 0;
    build.write_offset = 0;
    build.content = false;
}

// The one-frame silence whose start ends the program's wait for the music before it.
void play_queue_wait_marker() { sound_queue_silence(kSoundBytesPerFrame, true); }

void play_background_on(PlayBuild& build) {
    if (play_settings.background) return;
    play_settings.background = 1;
    play_flush(build);
    play_queue_wait_marker();
}

// Numbers that must be present; range checked by the caller.
PlayStep play_required_number(PlayBuild& build, int64_t& n) {
    if (build.number_state == PlayNumber::none) return play_fail(build);
    n = build.number;
    build.number_state = PlayNumber::none;
    return PlayStep::ok;
}

// Completes the pending command with the byte that ended it. Sets consumed when the byte
// belonged to the command (the letter after M, a sharp or flat, a chord comma).
PlayStep play_complete(PlayBuild& build, uint8_t c, bool& consumed) {
    consumed = false;
    int64_t n = 0;
    switch (build.pending) {
    case PlayCommand::none:
        return PlayStep::ok;
    case PlayCommand::length:
        if (play_required_number(build, n) == PlayStep::fail || n < 1 || n > 64) return play_fail(build);
        play_settings.default_length = static_cast<double>(n);
        play_recompute_default(build);
        break;
    case PlayCommand::tempo:
        if (play_required_number(build, n) == PlayStep::fail || n < 32 || n > 255) return play_fail(build);
        play_settings.tempo = static_cast<double>(n);
        play_recompute_default(build);
        break;
    case PlayCommand::octave:
        if (play_required_number(build, n) == PlayStep::fail || n > 6) return play_fail(build);
        play_settings.octave = n;
        break;
    case PlayCommand::volume:
        if (play_required_number(build, n) == PlayStep::fail || n > 100) return play_fail(build);
        play_settings.volume = static_cast<double>(n);
        break;
    case PlayCommand::note_number: {
        if (play_required_number(build, n) == PlayStep::fail || n > 84) return play_fail(build);
        build.note_index = static_cast<double>(n) - 33.0;
        consumed = c == ',';
        return play_note(build, consumed);  // N takes no length: the default, with any dots
    }
    case PlayCommand::mode:
        if (build.number_state != PlayNumber::none) return play_fail(build);
        consumed = true;
        switch (play_upper(c)) {
        case 'F': play_settings.background = 0; break;
        case 'B': play_background_on(build); break;
        case 'L': play_settings.gap = 0.0; break;
        case 'N': play_settings.gap = 0.125; break;
        case 'S': play_settings.gap = 0.25; break;
        default: return play_fail(build);
        }
        break;
    case PlayCommand::pause:
        consumed = c == ',';
        return play_rest(build, consumed);
    case PlayCommand::note:
        if (c == '-' || c == '+' || c == '#') {
            if (build.sharp_applied || build.number_state != PlayNumber::none) return play_fail(build);
            build.note_index += c == '-' ? -1 : 1;
            build.sharp_applied = true;
            consumed = true;
            return PlayStep::ok;  // the note stays pending
        }
        consumed = c == ',';
        return play_note(build, consumed);
    }
    build.pending = PlayCommand::none;
    return PlayStep::ok;
}

PlayStep play_dispatch(PlayBuild& build, uint8_t c) {
    static constexpr int32_t kNoteBase[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
    const uint8_t upper = play_upper(c);
    if (upper >= 'A' && upper <= 'G') {
        build.note_index = kNoteBase[upper - 'A'] + 12.0 * static_cast<double>(play_settings.octave) - 33.0;
        build.pending = PlayCommand::note;
        return PlayStep::ok;
    }
    switch (upper) {
    case 'L': build.pending = PlayCommand::length; return PlayStep::ok;
    case 'M': build.pending = PlayCommand::mode; return PlayStep::ok;
    case 'N': build.pending = PlayCommand::note_number; return PlayStep::ok;
    case 'O': build.pending = PlayCommand::octave; return PlayStep::ok;
    case 'P': build.pending = PlayCommand::pause; return PlayStep::ok;
    case 'T': build.pending = PlayCommand::tempo; return PlayStep::ok;
    case 'V': build.pending = PlayCommand::volume; return PlayStep::ok;
    case '<':
        if (play_settings.octave > 0) --play_settings.octave;
        return PlayStep::ok;
    case '>':
        if (play_settings.octave < 6) ++play_settings.octave;
        return PlayStep::ok;
    default:
        return play_fail(build);
    }
}

// Reads the value a "=" reference names: type code, then a 16-bit offset into the
// variable area. Reads never leave the area.
PlayStep play_read_reference(PlayBuild& build, uint8_t type, uint16_t offset) {
    size_t width = 0;
    if (type >= 64 && type <= 120) {
        width = 8;
    } else if (type >= 192 && type <= 248) {
        width = 8;
    } else {
        switch (type) {
        case 1: case 129: width = 1; break;
        case 2: case 130: width = 2; break;
        case 20: case 148: case 4: width = 4; break;
        case 5: case 133: case 8: width = 8; break;
        case 6: width = 10; break;
        default: return play_fail(build);
        }
    }
    if (play_variable_area.base == nullptr || static_cast<size_t>(offset) + width > play_variable_area.size) {
        return play_fail(build);
    }
    const uint8_t* at = play_variable_area.base + offset;
    long double value = 0;
    switch (type) {
    case 1: { int8_t v; std::memcpy(&v, at, 1); value = v; break; }
    case 129: { uint8_t v; std::memcpy(&v, at, 1); value = v; break; }
    case 2: { int16_t v; std::memcpy(&v, at, 2); value = v; break; }
    case 130: { uint16_t v; std::memcpy(&v, at, 2); value = v; break; }
    case 20: { int32_t v; std::memcpy(&v, at, 4); value = v; break; }
    case 148: { uint32_t v; std::memcpy(&v, at, 4); value = v; break; }
    case 5: case 133: { int64_t v; std::memcpy(&v, at, 8); value = static_cast<long double>(v); break; }
    case 4: { float v; std::memcpy(&v, at, 4); value = v; break; }
    case 8: { double v; std::memcpy(&v, at, 8); value = v; break; }
    case 6: {
        static_assert(sizeof(long double) >= 10, "80-bit extended floats are read as long double");
        long double v = 0;
        std::memcpy(&v, at, 10);
        value = v;
        break;
    }
    default: {
        uint64_t word;
        std::memcpy(&word, at, 8);
        const uint32_t bits = static_cast<uint32_t>(type & 63u);
        const uint64_t mask = bits == 0 ? 0 : ((uint64_t{1} << bits) - 1);
        word &= mask;
        if (type >= 192 && bits != 0 && (word >> (bits - 1)) & 1u) {
            value = static_cast<long double>(static_cast<int64_t>(word | ~mask));
        } else {
            value = static_cast<long double>(word);
        }
        break;
    }
    }
    // NaN fails both comparisons and is refused too.
    if (!(value >= -2147483648.0L && value <= 2147483647.0L)) return play_fail(build);
    build.number = static_cast<int64_t>(std::nearbyint(value));
    build.number_state = PlayNumber::reference;
    return PlayStep::ok;
}

PlayStep play_run(PlayBuild& build, const uint8_t* text, size_t length) {
    size_t i = 0;
    while (i < length) {
        const uint8_t c = text[i++];
        if (c == ' ') continue;
        if (c >= '0' && c <= '9') {
            if (build.dots != 0 || build.number_state == PlayNumber::reference) return play_fail(build);
            if (build.number_state == PlayNumber::none) {
                build.number = 0;
                build.number_state = PlayNumber::digits;
            }
            // 64-bit and unchecked; done unsigned so a very long number wraps instead of overflowing.
            build.number = static_cast<int64_t>(static_cast<uint64_t>(build.number) * 10u + (c - '0'));
            continue;
        }
        if (c == '.') {
            if (build.pending != PlayCommand::note && build.pending != PlayCommand::note_number &&
                build.pending != PlayCommand::pause) {
                return play_fail(build);
            }
            ++build.dots;
            continue;
        }
        if (c == '=') {
            if (build.dots != 0 || build.number_state != PlayNumber::none || length - i < 3) return play_fail(build);
            const uint8_t type = text[i];
            const uint16_t offset = static_cast<uint16_t>(text[i + 1] | (text[i + 2] << 8));
            i += 3;
            if (play_read_reference(build, type, offset) == PlayStep::fail) return PlayStep::fail;
            continue;
        }
        bool consumed = false;
        if (play_complete(build, c, consumed) == PlayStep::fail) return PlayStep::fail;
        if (!consumed && play_dispatch(build, c) == PlayStep::fail) return PlayStep::fail;
    }
    bool consumed = false;
    if (play_complete(build, ' ', consumed) == PlayStep::fail) return PlayStep::fail;
    if (build.pending != PlayCommand::none || build.number_state != PlayNumber::none) return play_fail(build);
    return PlayStep::ok;
}

}  // namespace

void play_bytes(const uint8_t* text, size_t length) {
    if (error_pending()) return;
    sound_init();
    PlayBuild build;
    play_recompute_default(build);
    if (play_run(build, text, length) == PlayStep::fail) {
        error_raise(build.error);
        return;  // the unfinished buffer is dropped with the build
    }
    play_flush(build);
    if (!play_settings.background) play_queue_wait_marker();
}

void play_string(const BasicString* text) {
    if (text == nullptr || text->text == nullptr || text->length <= 0) {
        play_bytes(nullptr, 0);
        return;
    }
    play_bytes(text->text, static_cast<size_t>(text->length));
}
