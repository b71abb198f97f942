// The mixer device and the 256-slot table of sound handles: creation, play, stop, close
// and reclaim.
#include <SDL.h>
#include <SDL_mixer.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "errors/errors.h"
#include "sound/private/sound_private.h"
#include "sound/sound.h"

SoundSlotTable sound_slot_table{{}, 2};

namespace {

std::atomic<bool> sound_initialised{false};
std::atomic<bool> sound_device_open{false};

// The program thread creates handles while the display loop plays, closes and reclaims
// queued ones; the table is touched only under this lock, never held across a sleep.
std::mutex sound_slot_mutex;

constexpr uint32_t kMusicStreamHandle = 1;

int32_t sound_find_slot(uint32_t handle) {
    if (handle == 0) return -1;
    for (int32_t i = 0; i < kSoundSlotCount; ++i) {
        if (sound_slot_table.slots[i].handle == handle) return i;
    }
    return -1;
}

uint32_t sound_next_handle() {
    const uint32_t handle = sound_slot_table.next_handle++;
    if (sound_slot_table.next_handle == 0) sound_slot_table.next_handle = 2;  // 0 and 1 never name a slot
    return handle;
}

void sound_update_playing(int32_t index) {
    SoundSlot& slot = sound_slot_table.slots[index];
    if (slot.playing && !slot.looping) {
        if (!sound_device_open.load() || Mix_Playing(index) == 0) slot.playing = 0;
    }
}

int32_t sound_slot_is_playing_locked(int32_t index) {
    sound_update_playing(index);
    const SoundSlot& slot = sound_slot_table.slots[index];
    if (slot.paused) return 0;
    return slot.playing ? -1 : 0;
}

void sound_slot_play_locked(int32_t index) {
    SoundSlot& slot = sound_slot_table.slots[index];
    const bool device = sound_device_open.load();
    if (slot.paused) {
        if (device) Mix_Resume(index);
        const uint32_t now_ms = SDL_GetTicks();
        slot.start_time_ms += now_ms - slot.pause_time_ms;
        slot.paused = 0;
        return;
    }
    slot.looping = 0;
    if (!device || slot.chunk == nullptr) return;  // silent run: the handle counts as ended
    Mix_HaltChannel(index);
    const int ticks = slot.limit_ms != 0 ? static_cast<int>(slot.limit_ms) : -1;
    if (Mix_PlayChannelTimed(index, slot.chunk, 0, ticks) == -1) return;
    slot.start_time_ms = SDL_GetTicks();
    slot.playing = 1;
}

void sound_slot_stop_locked(int32_t index) {
    SoundSlot& slot = sound_slot_table.slots[index];
    if (sound_device_open.load()) Mix_HaltChannel(index);
    slot.playing = 0;
    slot.paused = 0;
    slot.looping = 0;
}

void sound_reclaim_locked() {
    for (int32_t i = 0; i < kSoundSlotCount; ++i) {
        SoundSlot& slot = sound_slot_table.slots[i];
        if (slot.handle == 0 || !slot.closed) continue;
        sound_update_playing(i);
        if (slot.playing) continue;  // a later reclaim finds it silent
        slot.handle = 0;
        bool shared = false;
        for (int32_t j = 0; j < kSoundSlotCount; ++j) {
            const SoundSlot& other = sound_slot_table.slots[j];
            if (j != i && other.handle != 0 && other.chunk == slot.chunk && other.samples == slot.samples) {
                shared = true;
                break;
            }
        }
        if (!shared) {
            if (slot.chunk != nullptr) Mix_FreeChunk(slot.chunk);  // halts any channel still using it
            std::free(slot.samples);
        }
        slot.chunk = nullptr;
        slot.samples = nullptr;
    }
}

void sound_slot_close_locked(int32_t index) {
    sound_slot_table.slots[index].closed = 1;
    sound_reclaim_locked();
}

// Program-thread entry checks: 0 does nothing, unknown or closed handles are error 5.
// Returns the slot index, or -1 when the caller has nothing more to do.
int32_t sound_lookup_for_program(uint32_t handle) {
    if (handle == 0) return -1;
    const int32_t index = handle == kMusicStreamHandle ? -1 : sound_find_slot(handle);
    if (index < 0 || sound_slot_table.slots[index].closed) {
        error_raise(kErrorIllegalFunctionCall);
        return -1;
    }
    return index;
}

}  // namespace

bool sound_device_ready() { return sound_device_open.load(); }

void sound_init() {
    if (sound_initialised.exchange(true)) return;
    // Without a working device the program runs on silently rather than ending.
    bool open = SDL_WasInit(SDL_INIT_AUDIO) != 0 || SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
    if (open && Mix_OpenAudio(kSoundRateHz, kSoundFormatS16, kSoundChannels, kSoundChunkFrames) == -1) {
        open = false;
    }
    if (open) {
        static bool close_registered = false;
        if (!close_registered) {
            close_registered = true;
            std::atexit(Mix_CloseAudio);
        }
        Mix_AllocateChannels(kSoundMixChannels);
        sound_device_open.store(true);
    }
    sound_queue_startup_silence();
}

uint32_t sound_handle_from_samples(uint8_t* samples, uint32_t byte_length) {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    for (int32_t i = 0; i < kSoundSlotCount; ++i) {
        SoundSlot& slot = sound_slot_table.slots[i];
        if (slot.handle != 0) continue;
        slot = SoundSlot{};
        slot.volume = 1.0f;
        slot.attenuation = 1.0f;
        slot.samples = samples;
        slot.byte_length = byte_length;
        if (sound_device_open.load()) {
            Mix_Volume(i, MIX_MAX_VOLUME);
            slot.chunk = Mix_QuickLoad_RAW(samples, byte_length);
        }
        slot.length_seconds = static_cast<double>(byte_length) / kSoundBytesPerFrame / kSoundRateHz;
        slot.capabilities = kSoundCapSample;
        slot.handle = sound_next_handle();
        return slot.handle;
    }
    return 0;
}

int64_t sound_handle_samples(uint32_t handle, uint8_t* out, size_t capacity) {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_find_slot(handle);
    if (index < 0) return -1;
    const SoundSlot& slot = sound_slot_table.slots[index];
    if (out != nullptr && slot.samples != nullptr) {
        std::memcpy(out, slot.samples, capacity < slot.byte_length ? capacity : slot.byte_length);
    }
    return slot.byte_length;
}

int32_t sound_slots_in_use() {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    int32_t count = 0;
    for (const SoundSlot& slot : sound_slot_table.slots) count += slot.handle != 0 ? 1 : 0;
    return count;
}

void sound_play(uint32_t handle) {
    if (error_pending()) return;
    sound_init();
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_lookup_for_program(handle);
    if (index >= 0) sound_slot_play_locked(index);
}

int32_t sound_is_playing(uint32_t handle) {
    sound_init();
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_lookup_for_program(handle);
    return index >= 0 ? sound_slot_is_playing_locked(index) : 0;
}

void sound_stop(uint32_t handle) {
    if (error_pending()) return;
    sound_init();
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_lookup_for_program(handle);
    if (index >= 0) sound_slot_stop_locked(index);
}

void sound_close(uint32_t handle) {
    if (error_pending()) return;
    sound_init();
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_lookup_for_program(handle);
    if (index >= 0) sound_slot_close_locked(index);
}

void sound_reclaim() {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    sound_reclaim_locked();
}

void sound_stop_all() {
    tone_queue.started.store(0);
    tone_queue.read_position.store(tone_queue.write_position.load());
    // A wait for an entry that was just dropped would never end.
    tone_queue.wait_marker.store(-1);
    error_state.suspend_flags.fetch_and(static_cast<uint8_t>(~kSuspendSoundWait));
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    for (int32_t i = 0; i < kSoundSlotCount; ++i) {
        const SoundSlot& slot = sound_slot_table.slots[i];
        if (slot.handle == 0 || slot.closed) continue;
        sound_slot_stop_locked(i);
        sound_slot_close_locked(i);
    }
}

int32_t sound_slot_is_playing(uint32_t handle) {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_find_slot(handle);
    return index >= 0 ? sound_slot_is_playing_locked(index) : 0;
}

void sound_slot_close(uint32_t handle) {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_find_slot(handle);
    if (index >= 0) sound_slot_close_locked(index);
}

void sound_slot_play(uint32_t handle) {
    std::lock_guard<std::mutex> lock(sound_slot_mutex);
    const int32_t index = sound_find_slot(handle);
    if (index >= 0 && !sound_slot_table.slots[index].closed) sound_slot_play_locked(index);
}

void sound_reset_for_tests() {
    {
        std::lock_guard<std::mutex> lock(sound_slot_mutex);
        for (int32_t i = 0; i < kSoundSlotCount; ++i) {
            SoundSlot& slot = sound_slot_table.slots[i];
            if (slot.handle == 0) continue;
            if (sound_device_open.load()) Mix_HaltChannel(i);
            slot.playing = 0;
            slot.closed = 1;
        }
        sound_reclaim_locked();
        sound_slot_table.next_handle = 2;
    }
    tone_queue.write_position.store(0);
    tone_queue.read_position.store(0);
    tone_queue.started.store(0);
    tone_queue.wait_marker.store(-1);
    error_state.suspend_flags.fetch_and(static_cast<uint8_t>(~kSuspendSoundWait));
    sound_initialised.store(sound_device_open.load());
    if (sound_device_open.load()) sound_queue_startup_silence();
    play_settings = kPlayStartSettings;
}
