// Triangle-wave tone synthesis in the device format, cut back to a rising zero crossing.
#include <cmath>
#include <cstdlib>

#include "errors/errors.h"
#include "sound/sound.h"

uint32_t sound_last_generated_bytes = 0;

namespace {

// Keeps every buffer's byte length within the mixer's 32-bit chunk length.
constexpr double kSoundMaxFrames = 0x3FFFFFFF;

// v x A truncated toward zero; values that do not fit 16 bits (tones above 11025 Hz,
// where the wave overshoots) store the processor's 16-bit indefinite, -32768.
int16_t sound_sample_from_wave(double scaled) {
    if (!(scaled > -32769.0 && scaled < 32768.0)) return INT16_MIN;
    return static_cast<int16_t>(scaled);
}

}  // namespace

uint32_t sound_seconds_to_bytes(double seconds) {
    double frames = std::trunc(seconds * kSoundRateHz);
    if (!(frames >= 1.0)) frames = 1.0;  // also catches NaN and negative lengths
    if (frames > kSoundMaxFrames) frames = kSoundMaxFrames;
    return static_cast<uint32_t>(frames) * kSoundBytesPerFrame;
}

uint8_t* sound_generate_tone(double frequency_hz, double duration_seconds, double amplitude) {
    const double rate_times_seconds = kSoundRateHz * duration_seconds;
    const uint32_t frames = sound_seconds_to_bytes(duration_seconds) / kSoundBytesPerFrame;
    auto* buffer = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(frames) * kSoundBytesPerFrame));
    if (buffer == nullptr) {
        error_raise(kErrorOutOfMemory);
        sound_last_generated_bytes = 0;
        return nullptr;
    }
    sound_last_generated_bytes = frames * kSoundBytesPerFrame;

    const double scale = amplitude * 32767.0;
    // The wave moves 4 f / 22050 of its -1..+1..-1 swing per frame.
    const double step = rate_times_seconds == 0.0 ? 0.0
                                                  : frequency_hz * 4.0 * duration_seconds / rate_times_seconds;
    double wave = 0.0;
    bool rising = true;
    int32_t previous = 1;
    uint32_t last_rise = 0;
    auto* out = reinterpret_cast<int16_t*>(buffer);
    for (uint32_t i = 0; i < frames; ++i) {
        const int16_t sample = sound_sample_from_wave(wave * scale);
        out[2 * i] = sample;
        out[2 * i + 1] = sample;
        if (sample > 0 && previous <= 0) last_rise = i;
        previous = sample;
        if (rising) {
            wave += step;
            if (wave >= 1.0) {
                wave = 2.0 - wave;
                rising = false;
            }
        } else {
            wave -= step;
            if (wave <= -1.0) {
                wave = -2.0 - wave;
                rising = true;
            }
        }
    }
    // Ending just before the last rising crossing leaves whole periods, so no click.
    if (last_rise != 0) {
        sound_last_generated_bytes = last_rise * kSoundBytesPerFrame;
        if (auto* smaller = static_cast<uint8_t*>(std::realloc(buffer, sound_last_generated_bytes))) {
            buffer = smaller;
        }
    }
    return buffer;
}
