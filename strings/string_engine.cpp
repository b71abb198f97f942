// The string engine: descriptor pool, main and conventional string spaces, storage and
// temporary lists, assignment, concatenation, comparison and numeric variable storage.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "frame/frame.h"
#include "strings/private/string_engine_state.h"
#include "strings/strings.h"

StringEngineState string_engine;
BasicString* string_shared_empty = nullptr;
BasicString* string_shared_space = nullptr;
void (*string_field_unbind_hook)(BasicString* s) = nullptr;

namespace {

// Text pointer of empty strings that have no storage of their own (never written).
uint8_t empty_text[1];

// ---------------------------------------------------------------- descriptor pool

// Growth paths are kept out of line so the common paths stay small enough to inline.
[[gnu::noinline]] BasicString* descriptor_take_from_block() {
    DescriptorPool& pool = string_engine.pool;
    if (pool.block_count == 0 || pool.next_in_block == kDescriptorBlockSize) {
        if (pool.block_count == pool.block_capacity) {
            const int32_t capacity = pool.block_capacity == 0 ? 16 : pool.block_capacity * 2;
            auto* blocks = static_cast<BasicString**>(std::realloc(pool.blocks, sizeof(BasicString*) * capacity));
            if (blocks == nullptr) string_critical(kCriticalDescriptorPool);
            pool.blocks = blocks;
            pool.block_capacity = capacity;
        }
        auto* block = static_cast<BasicString*>(std::calloc(kDescriptorBlockSize, sizeof(BasicString)));
        if (block == nullptr) string_critical(kCriticalDescriptorPool);
        pool.blocks[pool.block_count++] = block;
        pool.next_in_block = 0;
    }
    return &pool.blocks[pool.block_count - 1][pool.next_in_block++];
}

inline BasicString* descriptor_take() {
    DescriptorPool& pool = string_engine.pool;
    if (pool.free_count == 0) return descriptor_take_from_block();
    BasicString* d = pool.free_stack[--pool.free_count];
    *d = BasicString{};
    return d;
}

[[gnu::noinline]] void free_stack_grow() {
    DescriptorPool& pool = string_engine.pool;
    const int32_t capacity = pool.free_capacity * 2;
    auto* stack = static_cast<BasicString**>(std::realloc(pool.free_stack, sizeof(BasicString*) * capacity));
    if (stack == nullptr) string_critical(kCriticalDescriptorPool);
    pool.free_stack = stack;
    pool.free_capacity = capacity;
}

inline void descriptor_recycle(BasicString* d) {
    DescriptorPool& pool = string_engine.pool;
    if (pool.free_count == pool.free_capacity) free_stack_grow();
    pool.free_stack[pool.free_count++] = d;
}

// ---------------------------------------------------------------- lists

bool list_allocate(StorageList& list, int32_t capacity) {
    list.slots = static_cast<BasicString**>(std::malloc(sizeof(BasicString*) * (static_cast<size_t>(capacity) + 1)));
    list.count = 0;
    list.capacity = capacity;
    return list.slots != nullptr;
}

// Moves the live slots down over the dead ones and doubles the capacity when the list
// is still at least half full.
[[gnu::noinline]] void list_squeeze(StorageList& list, int32_t error_number) {
    int32_t live = 0;
    for (int32_t i = 0; i < list.count; ++i) {
        BasicString* s = list.slots[i];
        if (s == kDeadSlot) continue;
        list.slots[live] = s;
        s->storage_index = live;
        ++live;
    }
    list.count = live;
    if (live >= list.capacity / 2) {
        const int32_t capacity = list.capacity * 2;
        auto* slots = static_cast<BasicString**>(std::realloc(list.slots, sizeof(BasicString*) * (static_cast<size_t>(capacity) + 1)));
        if (slots == nullptr) string_critical(error_number);
        list.slots = slots;
        list.capacity = capacity;
    }
}

inline void list_append(StorageList& list, BasicString* s, int32_t error_number) {
    if (list.count > list.capacity) list_squeeze(list, error_number);
    list.slots[list.count] = s;
    s->storage_index = list.count;
    ++list.count;
}

[[gnu::noinline]] void temporaries_grow() {
    TemporaryList& temps = string_engine.temporaries;
    const int32_t capacity = temps.capacity * 2;
    auto* slots = static_cast<BasicString**>(std::realloc(temps.slots, sizeof(BasicString*) * (static_cast<size_t>(capacity) + 1)));
    if (slots == nullptr) string_critical(kCriticalTemporaryList);
    temps.slots = slots;
    temps.capacity = capacity;
}

inline void temporary_register(BasicString* s) {
    TemporaryList& temps = string_engine.temporaries;
    if (temps.count > temps.capacity) temporaries_grow();
    temps.slots[temps.count] = s;
    s->temporary_index = temps.count;
    s->is_temporary = 1;
    ++temps.count;
}

// Takes a string out of the temporary list; the count drops over trailing dead slots.
void temporary_unregister(BasicString* s) {
    TemporaryList& temps = string_engine.temporaries;
    if (s->temporary_index == 0) return;
    temps.slots[s->temporary_index] = kDeadSlot;
    s->temporary_index = 0;
    while (temps.count > 1 && temps.slots[temps.count - 1] == kDeadSlot) --temps.count;
}

// ---------------------------------------------------------------- segment records

void segment_record_write(BasicString* s) {
    if (s->segment_record == nullptr) return;
    const auto length = static_cast<uint16_t>(s->length);
    const auto offset = static_cast<uint16_t>(s->text - string_engine.conventional.base);
    std::memcpy(s->segment_record, &length, 2);
    std::memcpy(s->segment_record + 2, &offset, 2);
}

// Gives s a 4-byte record below the conventional top (reusing a freed one first).
void segment_record_take(BasicString* s, int32_t error_number) {
    ConventionalStringSpace& conv = string_engine.conventional;
    uint32_t offset;
    if (conv.free_record_count > 0) {
        offset = conv.free_records[--conv.free_record_count];
    } else {
        if (conv.top < conv.used + 4) string_critical(error_number);
        conv.top -= 4;
        offset = conv.top;
    }
    s->segment_record = conv.base + offset;
    s->segment_record_offset = static_cast<uint16_t>(offset);
    segment_record_write(s);
}

void segment_record_release(BasicString* s) {
    if (s->segment_record == nullptr) return;
    ConventionalStringSpace& conv = string_engine.conventional;
    std::memset(s->segment_record, 0, 4);
    if (conv.free_record_count < kMaxSegmentRecords) conv.free_records[conv.free_record_count++] = s->segment_record_offset;
    s->segment_record = nullptr;
    s->segment_record_offset = 0;
}

// ---------------------------------------------------------------- compaction

// Moves main-space strings down over gaps of more than the spare size, then enlarges
// the space when less than half of it would stay free.
void main_compact(size_t extra_bytes) {
    MainStringSpace& space = string_engine.main;
    uint8_t* cursor = space.base;
    space.used = 0;
    for (int32_t i = 0; i < space.list.count; ++i) {
        BasicString* s = space.list.slots[i];
        if (s == kDeadSlot) continue;
        if (s->text > cursor + kStringSpareBytes) {
            std::memmove(cursor, s->text, static_cast<size_t>(s->length));
            s->text = cursor;
        }
        cursor = s->text + s->length;
        space.used = static_cast<size_t>(cursor - space.base);
    }
    if (2 * space.used + extra_bytes + kStringSpareBytes < space.size) return;

    const size_t new_size = 2 * space.size + extra_bytes;
    auto* new_base = static_cast<uint8_t*>(std::malloc(new_size));
    if (new_base == nullptr) string_critical(kCriticalStringSpace);
    std::memcpy(new_base, space.base, space.used);
    for (int32_t i = 0; i < space.list.count; ++i) {
        BasicString* s = space.list.slots[i];
        if (s != kDeadSlot) s->text = new_base + (s->text - space.base);
    }
    std::free(space.base);
    space.base = new_base;
    space.size = new_size;
}

// Packs the conventional strings tightly from the first string offset upward.
void conventional_compact(uint32_t extra_bytes) {
    ConventionalStringSpace& conv = string_engine.conventional;
    uint8_t* cursor = conv.base + kConventionalFirstOffset;
    for (int32_t i = 0; i < conv.list.count; ++i) {
        BasicString* s = conv.list.slots[i];
        if (s == kDeadSlot) continue;
        if (s->text != cursor) {
            std::memmove(cursor, s->text, static_cast<size_t>(s->length));
            s->text = cursor;
            segment_record_write(s);
        }
        cursor += s->length;
    }
    conv.used = static_cast<uint32_t>(cursor - conv.base);
    if (static_cast<uint64_t>(conv.used) + extra_bytes > conv.top) string_critical(kCriticalConventionalFull);
}

// ---------------------------------------------------------------- freeing

void detach_field(BasicString* s) {
    if (s->field_binding == nullptr) return;
    if (string_field_unbind_hook != nullptr) string_field_unbind_hook(s);
    s->field_binding = nullptr;
}

// Frees a string already taken out of the temporary list.
void free_unregistered(BasicString* s) {
    if (s->is_external || s->is_literal) {
        segment_record_release(s);
        descriptor_recycle(s);
        return;
    }
    if (s->in_conventional_space) {
        StorageList& list = string_engine.conventional.list;
        list.slots[s->storage_index] = kDeadSlot;
        if (s->storage_index == list.count - 1) --list.count;
        segment_record_release(s);
        descriptor_recycle(s);
        return;
    }
    MainStringSpace& space = string_engine.main;
    StorageList& list = space.list;
    list.slots[s->storage_index] = kDeadSlot;
    while (list.count > 0 && list.slots[list.count - 1] == kDeadSlot) --list.count;
    if (list.count == 0) {
        space.used = 0;
    } else {
        const BasicString* last = list.slots[list.count - 1];
        const size_t end = static_cast<size_t>(last->text - space.base) + static_cast<size_t>(last->length) + kStringSpareBytes;
        space.used = std::min(end, space.size);
    }
    descriptor_recycle(s);
}

// ---------------------------------------------------------------- assignment helpers

// Where a string's space keeps its list, its used offset and its end.
struct SpaceView {
    StorageList* list;
    uint8_t* base;
    uint8_t* end;
    bool conventional;
};

SpaceView space_of(const BasicString* s) {
    if (s->in_conventional_space) {
        ConventionalStringSpace& conv = string_engine.conventional;
        return {&conv.list, conv.base, conv.base + conv.top, true};
    }
    MainStringSpace& space = string_engine.main;
    return {&space.list, space.base, space.base + space.size, false};
}

void space_set_used(const SpaceView& view, const uint8_t* position) {
    if (view.conventional) {
        string_engine.conventional.used = static_cast<uint32_t>(position - view.base);
    } else {
        string_engine.main.used = static_cast<size_t>(position - view.base);
    }
}

void copy_into(BasicString* destination, const BasicString* source) {
    if (source->length > 0) std::memmove(destination->text, source->text, static_cast<size_t>(source->length));
    destination->length = source->length;
}

// Gives the destination fresh room at the top of its space and copies the source there.
void relocate(BasicString* destination, const BasicString* source, bool has_slot) {
    const auto length = static_cast<uint32_t>(source->length);
    if (destination->in_conventional_space) {
        ConventionalStringSpace& conv = string_engine.conventional;
        if (has_slot) conv.list.slots[destination->storage_index] = kDeadSlot;
        if (static_cast<uint64_t>(conv.used) + length > conv.top) conventional_compact(length);
        list_append(conv.list, destination, kCriticalConventionalList);
        destination->text = conv.base + conv.used;
        conv.used += length;
    } else {
        MainStringSpace& space = string_engine.main;
        if (has_slot) space.list.slots[destination->storage_index] = kDeadSlot;
        if (space.used + length > space.size) main_compact(length);
        list_append(space.list, destination, kCriticalMainList);
        destination->text = space.base + space.used;
        space.used += length;
    }
    // The source is read only now: compaction may have moved it.
    if (length > 0) std::memcpy(destination->text, source->text, length);
    destination->length = source->length;
}

// Copies a longer value into the destination, growing it in place when the bytes after
// it are free, else relocating it.
void assign_growing(BasicString* destination, const BasicString* source) {
    const SpaceView view = space_of(destination);
    StorageList& list = *view.list;
    uint8_t* new_end = destination->text + source->length;
    const int32_t index = destination->storage_index;

    if (index == list.count - 1) {
        if (new_end <= view.end) {
            copy_into(destination, source);
            space_set_used(view, new_end);
            return;
        }
        relocate(destination, source, true);
        return;
    }
    for (int32_t i = index + 1; i < list.count; ++i) {
        const BasicString* next = list.slots[i];
        if (next == kDeadSlot || (next == source && source->is_temporary)) continue;
        if (next->text >= new_end) {
            copy_into(destination, source);
            return;
        }
        relocate(destination, source, true);
        return;
    }
    list.count = index + 1;
    if (new_end <= view.end) {
        copy_into(destination, source);
        space_set_used(view, new_end);
        return;
    }
    relocate(destination, source, true);
}

bool same_space(const BasicString* a, const BasicString* b) {
    return (a->in_conventional_space != 0) == (b->in_conventional_space != 0);
}

int32_t truth(bool value) { return value ? -1 : 0; }

// Unsigned byte order; a proper prefix sorts first.
int compare_bytes(const BasicString* left, const BasicString* right) {
    const int32_t common = std::min(left->length, right->length);
    if (common > 0) {
        const int order = std::memcmp(left->text, right->text, static_cast<size_t>(common));
        if (order != 0) return order;
    }
    return (left->length > right->length) - (left->length < right->length);
}

// Storage from an earlier initialisation that outside code may still point into
// (descriptors, string text, variable cells). Start-up initialises once; only a test
// that starts the engine again retires storage, which stays readable instead of freed.
struct RetiredStorage {
    void** blocks;
    int32_t count;
    int32_t capacity;
};
RetiredStorage retired_storage;

void retire(void* block) {
    if (block == nullptr) return;
    RetiredStorage& r = retired_storage;
    if (r.count == r.capacity) {
        const int32_t capacity = r.capacity == 0 ? 64 : r.capacity * 2;
        auto* blocks = static_cast<void**>(std::realloc(r.blocks, sizeof(void*) * capacity));
        if (blocks == nullptr) string_critical(kCriticalDescriptorPool);
        r.blocks = blocks;
        r.capacity = capacity;
    }
    r.blocks[r.count++] = block;
}

void engine_retire_all() {
    StringEngineState& e = string_engine;
    for (int32_t i = 0; i < e.pool.block_count; ++i) retire(e.pool.blocks[i]);
    retire(e.main.base);
    for (int32_t i = 0; i < e.variables.chunk_count; ++i) retire(e.variables.chunks[i]);
    std::free(e.pool.blocks);
    std::free(e.pool.free_stack);
    std::free(e.main.list.slots);
    std::free(e.conventional.list.slots);
    std::free(e.temporaries.slots);
    std::free(e.variables.chunks);
}

uint8_t* variable_chunk_new(size_t size) {
    VariableStorage& vars = string_engine.variables;
    if (vars.chunk_count == vars.chunk_capacity) {
        const int32_t capacity = vars.chunk_capacity == 0 ? 8 : vars.chunk_capacity * 2;
        auto* chunks = static_cast<uint8_t**>(std::realloc(vars.chunks, sizeof(uint8_t*) * capacity));
        if (chunks == nullptr) return nullptr;
        vars.chunks = chunks;
        vars.chunk_capacity = capacity;
    }
    auto* chunk = static_cast<uint8_t*>(std::calloc(1, size));
    if (chunk == nullptr) return nullptr;
    vars.chunks[vars.chunk_count++] = chunk;
    vars.chunk_start = chunk;
    vars.next = chunk;
    vars.end = chunk + size;
    vars.chunk_size = size;
    return chunk;
}

}  // namespace

[[noreturn]] void string_critical(int32_t error_number) {
    error_raise(error_number);
    // A critical error ends the process inside error_raise; this only guards against a
    // report path that returns.
    std::_Exit(0);
}

// ---------------------------------------------------------------- start-up

void string_engine_init() {
    StringEngineState& e = string_engine;
    if (e.initialised) engine_retire_all();
    e = StringEngineState{};

    e.pool.free_capacity = kInitialFreeStackCapacity;
    e.pool.free_stack = static_cast<BasicString**>(std::malloc(sizeof(BasicString*) * kInitialFreeStackCapacity));
    if (e.pool.free_stack == nullptr) string_critical(kCriticalDescriptorPool);
    e.pool.block_capacity = 16;
    e.pool.blocks = static_cast<BasicString**>(std::malloc(sizeof(BasicString*) * 16));
    if (e.pool.blocks == nullptr) string_critical(kCriticalDescriptorPool);
    e.pool.blocks[0] = static_cast<BasicString*>(std::calloc(kDescriptorBlockSize, sizeof(BasicString)));
    if (e.pool.blocks[0] == nullptr) string_critical(kCriticalDescriptorPool);
    e.pool.block_count = 1;

    if (!list_allocate(e.main.list, kInitialListCapacity)) string_critical(kCriticalMainList);
    if (!list_allocate(e.conventional.list, kInitialListCapacity)) string_critical(kCriticalConventionalList);
    e.temporaries.capacity = kInitialListCapacity;
    e.temporaries.slots = static_cast<BasicString**>(std::malloc(sizeof(BasicString*) * (kInitialListCapacity + 1)));
    if (e.temporaries.slots == nullptr) string_critical(kCriticalTemporaryList);
    e.temporaries.slots[0] = nullptr;
    e.temporaries.count = 1;

    e.main.size = kInitialStringSpaceSize;
    e.main.base = static_cast<uint8_t*>(std::malloc(kInitialStringSpaceSize));
    if (e.main.base == nullptr) string_critical(kCriticalStringSpace);

    // The emulated data segment starts out empty; its top 8 bytes stay reserved.
    e.conventional.base = EmulatedMemory + kDataSegmentBase;
    std::memset(e.conventional.base, 0, kDataSegmentSize);
    e.conventional.used = kConventionalFirstOffset;
    e.conventional.top = kConventionalTopAtStart;

    if (variable_chunk_new(kInitialVariableChunkSize) == nullptr) string_critical(kCriticalVariableStorage);
    e.initialised = true;

    string_shared_empty = string_new_conventional(0, false);
    string_shared_space = string_new_conventional(1, false);
    string_shared_space->text[0] = ' ';
}

// ---------------------------------------------------------------- creation

BasicString* string_new(int32_t length, bool temporary) {
    if (length < 0) length = 0;
    MainStringSpace& space = string_engine.main;
    const size_t room = static_cast<size_t>(length) + kStringSpareBytes;
    if (space.size < space.used + room) main_compact(room);
    BasicString* s = descriptor_take();
    s->text = space.base + space.used;
    s->length = length;
    space.used += room;
    list_append(space.list, s, kCriticalMainList);
    if (temporary) temporary_register(s);
    return s;
}

BasicString* string_new_literal(const void* characters, int32_t length) {
    BasicString* s = descriptor_take();
    if (characters == nullptr || length <= 0) {
        s->text = empty_text;
        s->length = 0;
    } else {
        // The literal is never written through this pointer.
        s->text = const_cast<uint8_t*>(static_cast<const uint8_t*>(characters));
        s->length = length;
    }
    temporary_register(s);
    s->is_literal = 1;
    return s;
}

BasicString* string_new_from_c(const char* text) {
    if (text == nullptr) return string_new_literal(nullptr, 0);
    return string_new_literal(text, static_cast<int32_t>(std::strlen(text)));
}

BasicString* string_new_conventional(int32_t length, bool temporary) {
    if (length < 0) length = 0;
    ConventionalStringSpace& conv = string_engine.conventional;
    BasicString* s = descriptor_take();
    s->length = length;
    if (static_cast<uint64_t>(conv.used) + static_cast<uint32_t>(length) > conv.top) {
        conventional_compact(static_cast<uint32_t>(length));
    }
    s->text = conv.base + conv.used;
    conv.used += static_cast<uint32_t>(length);
    s->in_conventional_space = 1;
    list_append(conv.list, s, kCriticalConventionalList);
    if (temporary) {
        temporary_register(s);
    } else {
        segment_record_take(s, kCriticalConventionalRecord);
    }
    return s;
}

BasicString* string_new_external(void* address, int32_t length, bool temporary) {
    BasicString* s = descriptor_take();
    s->text = address != nullptr ? static_cast<uint8_t*>(address) : empty_text;
    s->length = address != nullptr && length > 0 ? length : 0;
    s->is_external = 1;
    if (temporary) {
        temporary_register(s);
        return s;
    }
    const uint8_t* segment = string_engine.conventional.base;
    if (s->text > segment && s->text < segment + kDataSegmentSize) segment_record_take(s, kCriticalExternalRecord);
    return s;
}

BasicString* string_make_temporary(BasicString* s) {
    if (s != nullptr && s->temporary_index == 0) temporary_register(s);
    return s;
}

void string_free(BasicString* s) {
    if (s == nullptr) return;
    detach_field(s);
    temporary_unregister(s);
    free_unregistered(s);
}

// ---------------------------------------------------------------- assignment

BasicString* string_assign(BasicString* destination, BasicString* source) {
    if (destination == nullptr || source == nullptr || destination == source) return destination;

    if (destination->is_external) {
        const int32_t copied = std::min(destination->length, source->length);
        if (copied > 0) std::memmove(destination->text, source->text, static_cast<size_t>(copied));
        if (source->length < destination->length) {
            std::memset(destination->text + copied, ' ', static_cast<size_t>(destination->length - copied));
        }
    } else if (destination->is_literal) {
        // A literal's text is never written: the destination gets room of its own.
        destination->is_literal = 0;
        destination->in_conventional_space = 0;
        relocate(destination, source, false);
    } else if (source->is_temporary && source->temporary_index != 0 && !source->is_external &&
               !source->is_literal && same_space(destination, source)) {
        // Take over the temporary's text: the destination moves into its list slot.
        StorageList& list = *space_of(destination).list;
        list.slots[destination->storage_index] = kDeadSlot;
        list.slots[source->storage_index] = destination;
        destination->storage_index = source->storage_index;
        destination->text = source->text;
        destination->length = source->length;
        detach_field(source);
        temporary_unregister(source);
        segment_record_release(source);
        descriptor_recycle(source);
        segment_record_write(destination);
        return destination;
    } else if (source->length <= destination->length) {
        copy_into(destination, source);
    } else {
        assign_growing(destination, source);
    }

    if (source->is_temporary) string_free(source);
    segment_record_write(destination);
    return destination;
}

// ---------------------------------------------------------------- concatenation

BasicString* string_concat(BasicString* left, BasicString* right) {
    if (right == nullptr || right->length == 0) return left != nullptr ? left : string_new_literal(nullptr, 0);
    if (left == nullptr || left->length == 0) return right;
    const int64_t total = static_cast<int64_t>(left->length) + right->length;
    if (total > INT32_MAX - kStringSpareBytes) string_critical(kCriticalStringSpace);
    BasicString* result = string_new(static_cast<int32_t>(total), true);
    // The operands are read only after the allocation, which may have moved them.
    std::memcpy(result->text, left->text, static_cast<size_t>(left->length));
    std::memcpy(result->text + left->length, right->text, static_cast<size_t>(right->length));
    if (left->is_temporary) string_free(left);
    // The same temporary on both sides is freed once.
    if (right != left && right->is_temporary) string_free(right);
    return result;
}

// ---------------------------------------------------------------- comparison

int32_t string_equal(const BasicString* left, const BasicString* right) {
    if (left->length != right->length) return 0;
    if (left->length == 0) return -1;
    return truth(std::memcmp(left->text, right->text, static_cast<size_t>(left->length)) == 0);
}

int32_t string_not_equal(const BasicString* left, const BasicString* right) {
    return string_equal(left, right) != 0 ? 0 : -1;
}

int32_t string_less(const BasicString* left, const BasicString* right) { return truth(compare_bytes(left, right) < 0); }
int32_t string_greater(const BasicString* left, const BasicString* right) { return truth(compare_bytes(left, right) > 0); }
int32_t string_less_equal(const BasicString* left, const BasicString* right) { return truth(compare_bytes(left, right) <= 0); }
int32_t string_greater_equal(const BasicString* left, const BasicString* right) { return truth(compare_bytes(left, right) >= 0); }

// ---------------------------------------------------------------- temporaries

int32_t string_temporary_mark() { return string_engine.temporaries.count; }

int32_t string_release_temporaries(int32_t mark, int32_t value) {
    TemporaryList& temps = string_engine.temporaries;
    if (mark < 1) mark = 1;
    // Each slot is cleared here so the count ends exactly at the mark.
    while (temps.count > mark) {
        --temps.count;
        BasicString* s = temps.slots[temps.count];
        temps.slots[temps.count] = kDeadSlot;
        if (s == kDeadSlot || s == nullptr) continue;
        s->temporary_index = 0;
        detach_field(s);
        free_unregistered(s);
    }
    return value;
}

// ---------------------------------------------------------------- variable storage

void* variable_storage_take(int32_t size) {
    VariableStorage& vars = string_engine.variables;
    if (size < 0) size = 0;
    // Cells are aligned for the widest numeric type they may hold.
    const uintptr_t alignment = size >= 16 ? 16 : 8;
    const auto next = reinterpret_cast<uintptr_t>(vars.next);
    const uintptr_t aligned = (next + alignment - 1) & ~(alignment - 1);
    if (aligned + static_cast<uintptr_t>(size) < reinterpret_cast<uintptr_t>(vars.end)) {
        auto* position = vars.next + (aligned - next);
        vars.next = position + size;
        // A cell handed out again after a reset starts at zero like a new one.
        std::memset(position, 0, static_cast<size_t>(size));
        return position;
    }
    uint8_t* chunk = variable_chunk_new(2 * vars.chunk_size + static_cast<size_t>(size));
    if (chunk == nullptr) string_critical(kCriticalVariableStorage);
    vars.next = chunk + size;
    return chunk;
}

void variable_storage_reset(void* position) {
    VariableStorage& vars = string_engine.variables;
    auto* p = static_cast<uint8_t*>(position);
    vars.next = (p >= vars.chunk_start && p <= vars.end) ? p : vars.chunk_start;
}
