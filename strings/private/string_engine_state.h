// Internal records of the string engine, visible to its own tests and benchmarks.
#pragma once

#include <cstddef>
#include <cstdint>

#include "strings/strings.h"

inline constexpr int32_t kDescriptorBlockSize = 65536;
inline constexpr int32_t kInitialListCapacity = 65535;
inline constexpr int32_t kInitialFreeStackCapacity = 65536;
inline constexpr size_t kInitialStringSpaceSize = 1048576;
inline constexpr size_t kInitialVariableChunkSize = 1048576;
inline constexpr uint32_t kConventionalFirstOffset = 256;
inline constexpr uint32_t kConventionalTopAtStart = 65528;
inline constexpr uint32_t kDataSegmentSize = 65536;
// Every new main-space string keeps this many spare bytes after it for growth in place.
inline constexpr int32_t kStringSpareBytes = 32;
// Segment records are 4 bytes, so at most this many fit between the strings and the top.
inline constexpr int32_t kMaxSegmentRecords = (kConventionalTopAtStart - kConventionalFirstOffset) / 4 + 1;

// The mark of a dead slot in the storage and temporary lists.
inline BasicString* const kDeadSlot = reinterpret_cast<BasicString*>(~uintptr_t{0});

// Critical error numbers of the engine (caption number = error - 500).
enum StringCriticalError : int32_t {
    kCriticalVariableStorage = 504,
    kCriticalDescriptorPool = 508,   // the free stack or a new descriptor block
    kCriticalConventionalList = 509,
    kCriticalMainList = 510,
    kCriticalTemporaryList = 511,
    kCriticalStringSpace = 512,
    kCriticalConventionalFull = 513,
    kCriticalConventionalRecord = 514,
    kCriticalExternalRecord = 515,
};

// A list of descriptor references in address order; `capacity + 1` slots exist.
struct StorageList {
    BasicString** slots;
    int32_t count;
    int32_t capacity;
};

struct MainStringSpace {
    uint8_t* base;
    size_t size;
    size_t used;
    StorageList list;
};

struct ConventionalStringSpace {
    uint8_t* base;       // start of the emulated data segment
    uint32_t used;       // offset of the first free byte above the strings
    uint32_t top;        // offset of the lowest segment record taken
    StorageList list;
    // Records given back by freed strings, reused before the top drops again.
    uint16_t free_records[kMaxSegmentRecords];
    int32_t free_record_count;
};

struct TemporaryList {
    BasicString** slots;  // slot 0 holds nullptr and is never used
    int32_t count;
    int32_t capacity;
};

struct DescriptorPool {
    BasicString** blocks;     // every block obtained so far (kept for the whole run)
    int32_t block_count;
    int32_t block_capacity;
    int32_t next_in_block;    // descriptors handed out of the newest block
    BasicString** free_stack;
    int32_t free_count;
    int32_t free_capacity;
};

struct VariableStorage {
    uint8_t** chunks;         // every chunk obtained so far (older ones still hold variables)
    int32_t chunk_count;
    int32_t chunk_capacity;
    uint8_t* chunk_start;
    uint8_t* next;
    uint8_t* end;
    size_t chunk_size;
};

struct StringEngineState {
    bool initialised;
    DescriptorPool pool;
    MainStringSpace main;
    ConventionalStringSpace conventional;
    TemporaryList temporaries;
    VariableStorage variables;
};

extern StringEngineState string_engine;

// Ends the process through the critical-error report; never returns.
[[noreturn]] void string_critical(int32_t error_number);
