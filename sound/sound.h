// Sound: the mixer device, the sound handle table, tone synthesis, the tone queue, SOUND,
// BEEP, the bell of character 7 and the PLAY music language.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

struct BasicString;
struct Mix_Chunk;

// ---------------------------------------------------------------------------------------
// Device format: 22050 Hz, signed 16-bit little-endian, stereo, 4 bytes per frame
// ---------------------------------------------------------------------------------------

inline constexpr int32_t kSoundRateHz = 22050;
inline constexpr uint16_t kSoundFormatS16 = 0x8010;
inline constexpr int32_t kSoundChannels = 2;
inline constexpr int32_t kSoundChunkFrames = 1024;
inline constexpr int32_t kSoundMixChannels = 256;
inline constexpr int32_t kSoundBytesPerFrame = 4;
inline constexpr int32_t kSoundStartupSilenceFrames = 8192;  // about 0.37 s before the first sound

// Opens the device on the first call (every sound operation calls it first). When no
// audio device can be opened the program carries on silently: handles and the queue
// still work, nothing is heard and nothing is waited for beyond a display-loop pass.
void sound_init();

// True once sound_init has opened a working mixer device.
bool sound_device_ready();

// ---------------------------------------------------------------------------------------
// Sound handles: the 256-slot table. Slot i plays on mixer channel i.
// Handle 0 = no sound, 1 = the music stream, 2 and up = slots.
// ---------------------------------------------------------------------------------------

inline constexpr uint8_t kSoundCapSample = 1;
inline constexpr uint8_t kSoundCapVolume = 2;
inline constexpr uint8_t kSoundCapPause = 4;
inline constexpr uint8_t kSoundCapLength = 8;

struct SoundSlot {
    uint32_t handle;         // 0 = slot free
    Mix_Chunk* chunk;        // null when no device is open
    uint8_t* samples;        // buffer this subsystem made (freed on reclaim), or null
    uint32_t byte_length;    // length of the samples in bytes
    uint8_t closed;
    uint8_t playing;
    uint8_t paused;
    float volume;
    float attenuation;
    float x, y, z;
    uint32_t start_time_ms;
    uint32_t pause_time_ms;
    uint8_t looping;
    uint32_t limit_ms;
    double length_seconds;
    uint8_t capabilities;
};

inline constexpr int32_t kSoundSlotCount = 256;
struct SoundSlotTable {
    SoundSlot slots[kSoundSlotCount];
    uint32_t next_handle;    // starts at 2; skips 0 and 1 when it wraps
};
extern SoundSlotTable sound_slot_table;

// Wraps a buffer made with malloc as a sample handle, which then owns it. Returns 0 when
// every slot is in use (the caller still owns and frees the buffer).
uint32_t sound_handle_from_samples(uint8_t* samples, uint32_t byte_length);

// Copies the samples of a handle (tests and tools): returns the byte length, or -1 when
// the handle names no slot. Copies at most capacity bytes into out (may be null).
int64_t sound_handle_samples(uint32_t handle, uint8_t* out, size_t capacity);

void sound_play(uint32_t handle);
int32_t sound_is_playing(uint32_t handle);   // -1 while audible, else 0
void sound_stop(uint32_t handle);
void sound_close(uint32_t handle);
void sound_reclaim();
void sound_stop_all();

// Number of slots in use (tests and diagnostics).
int32_t sound_slots_in_use();

// ---------------------------------------------------------------------------------------
// Tone synthesis
// ---------------------------------------------------------------------------------------

// Triangle wave of frequency_hz for duration_seconds at amplitude 0..1, cut back to its
// last rising zero crossing. Returns a malloc'd buffer; its byte length also goes to
// sound_last_generated_bytes.
uint8_t* sound_generate_tone(double frequency_hz, double duration_seconds, double amplitude);
extern uint32_t sound_last_generated_bytes;

// frames = seconds x 22050 truncated, at least 1; returns frames x 4.
uint32_t sound_seconds_to_bytes(double seconds);

// ---------------------------------------------------------------------------------------
// The tone queue: handles played one after another by the display loop
// ---------------------------------------------------------------------------------------

inline constexpr int32_t kToneQueueLength = 10000;
struct ToneQueue {
    uint32_t entries[kToneQueueLength];
    std::atomic<int32_t> write_position;  // advanced by the program thread after storing
    std::atomic<int32_t> read_position;   // advanced by the display loop
    std::atomic<uint8_t> started;
    std::atomic<int32_t> wait_marker;     // entry whose start ends a foreground wait, -1 none
};
extern ToneQueue tone_queue;

// Appends a handle; with wait set the program stops at its next statement boundary until
// the display loop starts this entry.
void sound_queue_push(uint32_t handle, bool wait);

// A tone at full amplitude, wrapped and queued (dropped silently with no free slot).
void sound_queue_tone(double frequency_hz, double duration_seconds, bool wait);

// Display loop, once per pass: starts the next queued handle once the previous one ended.
void sound_service_queue();

// ---------------------------------------------------------------------------------------
// Statements
// ---------------------------------------------------------------------------------------

// SOUND frequency, duration in clock ticks of 1/18.2 s.
void sound_tone(double frequency_hz, double duration_ticks);

// BEEP: 0.2 s at 783.99 Hz without a wait, then the program pauses 250 ms.
void sound_beep();

// The bell of character 7 printed to the screen: the BEEP tone and its 250 ms pause
// (the caller does not sleep again).
void sound_bell();

// Pause used by BEEP; replaceable so tests need not sleep.
extern void (*sound_sleep_hook)(uint32_t duration_ms);

// ---------------------------------------------------------------------------------------
// PLAY
// ---------------------------------------------------------------------------------------

// Settings that persist across PLAY statements, even failing ones.
struct PlaySettings {
    double tempo;            // quarter notes per minute
    double default_length;   // 1 whole note, 4 quarter ...
    double volume;           // 0..100
    double gap;              // fraction of each note left silent
    int64_t octave;          // 0..6 (a variable reference may set it below 0)
    uint8_t background;      // MB on
};
extern PlaySettings play_settings;
inline constexpr PlaySettings kPlayStartSettings{120.0, 4.0, 50.0, 0.125, 4, 0};

// The memory that "=" variable references in a music string address: a byte offset
// from base, bounded by size. By default the program's 64 KB data segment.
struct PlayVariableArea {
    const uint8_t* base;
    size_t size;
};
extern PlayVariableArea play_variable_area;

// PLAY text. Errors are error 5; the statement ends at the faulty byte.
void play_string(const BasicString* text);
// The same for plain bytes (the translated program's literals, tests).
void play_bytes(const uint8_t* text, size_t length);
