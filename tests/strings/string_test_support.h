// Shared helpers for the string engine tests: a fresh engine per test and value checks.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "strings/private/string_engine_state.h"
#include "strings/strings.h"

inline std::string text_of(const BasicString* s) {
    return std::string(reinterpret_cast<const char*>(s->text), static_cast<size_t>(s->length));
}

inline BasicString* literal(const char* text) { return string_new_from_c(text); }

inline BasicString* literal_bytes(const std::string& bytes) {
    return string_new_literal(bytes.data(), static_cast<int32_t>(bytes.size()));
}

// A permanent main-space variable holding the given value.
inline BasicString* variable_with(const std::string& value) {
    BasicString* v = string_new(0, false);
    string_assign(v, literal_bytes(value));
    return v;
}

// The 16-bit length and offset stored in a string's segment record.
struct SegmentRecord {
    uint16_t length;
    uint16_t offset;
};

inline SegmentRecord segment_record_of(const BasicString* s) {
    SegmentRecord record{};
    std::memcpy(&record.length, s->segment_record, 2);
    std::memcpy(&record.offset, s->segment_record + 2, 2);
    return record;
}

// Every test starts from a freshly initialised engine.
class StringEngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        string_engine_init();
        mark_ = string_temporary_mark();
    }
    int32_t mark_ = 0;
};
