// The mouse ring and the BIOS tick counter, both written by the display loop.
#include <SDL.h>

#include "frame/frame.h"
#include "frame/private/frame_host.h"
#include "frame/private/frame_logic.h"
#include "numbers/numbers.h"

void frame_store_bios_ticks() {
    const uint32_t ticks = frame_bios_ticks(SDL_GetTicks(), timer_origin_ticks, timer_origin_ms);
    for (uint32_t i = 0; i < 3; ++i) {
        std::atomic_ref<uint8_t>(EmulatedMemory[kBiosTickCounter + i]).store(static_cast<uint8_t>(ticks >> (8 * i)));
    }
}

void mouse_queue_append(const MouseRecord& record) {
    const uint16_t position = static_cast<uint16_t>(mouse_queue.write_position.load() + 1);
    // A full ring loses its oldest unread record; the reader may move on meanwhile.
    uint16_t expected = position;
    mouse_queue.read_position.compare_exchange_strong(expected, static_cast<uint16_t>(position + 1));
    mouse_queue.records[position] = record;
    mouse_queue.write_position.store(position);
}

void mouse_resync() {
    int x = 0;
    int y = 0;
    SDL_GetMouseState(&x, &y);
    mouse_queue_append(MouseRecord{static_cast<uint16_t>(x), static_cast<uint16_t>(y), mouse_queue.records[mouse_queue.write_position.load()].buttons, 0, 0});
    mouse_queue.read_position.store(mouse_queue.write_position.load());
}
