// Long random sequences of string work checked against std::string after every step,
// through compactions, growths, list squeezes and both string spaces.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "strings/number_text.h"
#include "string_test_support.h"

namespace {

// One BASIC string the program holds, with the value it must have.
struct Held {
    BasicString* s;
    std::string value;
};

class StringModel {
public:
    explicit StringModel(uint32_t seed) : random_(seed) {
        for (int i = 0; i < 24; ++i) variables_.push_back({string_new(0, false), ""});
        for (int i = 0; i < 6; ++i) conventional_.push_back({string_new_conventional(0, false), ""});
        fixed_storage_.reserve(3);  // the strings' buffers must not move
        for (int i = 0; i < 3; ++i) {
            fixed_storage_.emplace_back(8 + 5 * i, ' ');
            fixed_.push_back({string_new_external(fixed_storage_.back().data(), 8 + 5 * i, false),
                              std::string(8 + 5 * i, ' ')});
        }
        // A fixed-length string inside the data segment, below the conventional strings.
        uint8_t* inside = EmulatedMemory + kDataSegmentBase + 32;
        std::memset(inside, ' ', 12);
        fixed_.push_back({string_new_external(inside, 12, false), std::string(12, ' ')});
        for (int i = 0; i < 8; ++i) literals_.push_back(random_bytes(pick(0, 40)));
        literals_.push_back(std::string("\0\0zero\0", 7));
        mark_ = string_temporary_mark();
    }

    void step() {
        switch (pick(0, 9)) {
        case 0:
        case 1:
        case 2: assign_variable(); break;
        case 3: assign_conventional(); break;
        case 4: assign_fixed(); break;
        case 5: make_temporary(); break;
        case 6: replace_variable(); break;
        case 7: compare_two(); break;
        default: end_statement(); break;
        }
        check_values();
        if (++steps_ % 25 == 0) check_lists();
    }

private:
    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(random_); }

    std::string random_bytes(int length) {
        std::string bytes(static_cast<size_t>(length), '\0');
        for (char& c : bytes) c = static_cast<char>(pick(0, 255));
        return bytes;
    }

    // Mostly short values, now and then one large enough to force compaction or growth.
    int random_length() {
        const int kind = pick(0, 99);
        if (kind < 70) return pick(0, 40);
        if (kind < 97) return pick(41, 2000);
        return pick(20000, 300000);
    }

    BasicString* new_main_temporary(std::string& value) {
        value = random_bytes(random_length());
        BasicString* t = string_new(static_cast<int32_t>(value.size()), true);
        if (!value.empty()) std::memcpy(t->text, value.data(), value.size());
        return t;
    }

    // An expression value: a temporary, a literal, a variable or a concatenation.
    // The result is registered in temps_ when it is a temporary.
    BasicString* expression(std::string& value, int depth = 0) {
        switch (pick(0, depth > 1 ? 3 : 5)) {
        case 0: {
            BasicString* t = new_main_temporary(value);
            temps_.push_back({t, value});
            return t;
        }
        case 1: {
            const std::string& text = literals_[static_cast<size_t>(pick(0, static_cast<int>(literals_.size()) - 1))];
            value = text;
            BasicString* t = string_new_literal(text.data(), static_cast<int32_t>(text.size()));
            temps_.push_back({t, value});
            return t;
        }
        case 2: {
            Held& h = variables_[static_cast<size_t>(pick(0, static_cast<int>(variables_.size()) - 1))];
            value = h.value;
            return h.s;
        }
        case 3: {
            const int32_t n = pick(-100000, 100000);
            BasicString* t = number_text_int32(n);
            value = (n >= 0 ? " " : "") + std::to_string(n);
            temps_.push_back({t, value});
            return t;
        }
        default: {
            std::string left_value;
            std::string right_value;
            BasicString* left = expression(left_value, depth + 1);
            BasicString* right = expression(right_value, depth + 1);
            BasicString* result = string_concat(left, right);
            value = left_value + right_value;
            if (right_value.empty()) {
                EXPECT_EQ(result, left);
            } else if (left_value.empty()) {
                EXPECT_EQ(result, right);
            } else {
                consume(left);
                consume(right);
                temps_.push_back({result, value});
            }
            return result;
        }
        }
    }

    // Forgets a temporary the engine has just freed.
    void consume(BasicString* s) {
        for (size_t i = 0; i < temps_.size(); ++i) {
            if (temps_[i].s == s) {
                temps_.erase(temps_.begin() + static_cast<std::ptrdiff_t>(i));
                return;
            }
        }
    }

    void assign_into(Held& target, size_t fixed_length) {
        std::string value;
        BasicString* source = expression(value);
        const bool consumed = source->is_temporary != 0 && source != target.s;
        string_assign(target.s, source);
        if (consumed) consume(source);
        if (fixed_length > 0) {
            value.resize(fixed_length, ' ');
        }
        target.value = value;
    }

    void assign_variable() { assign_into(variables_[static_cast<size_t>(pick(0, static_cast<int>(variables_.size()) - 1))], 0); }

    void assign_conventional() {
        Held& target = conventional_[static_cast<size_t>(pick(0, static_cast<int>(conventional_.size()) - 1))];
        // Conventional values stay short: that space is a fixed 64 KB.
        std::string value;
        BasicString* source;
        if (pick(0, 1) == 0) {
            value = random_bytes(pick(0, 300));
            source = string_new_conventional(static_cast<int32_t>(value.size()), true);
            if (!value.empty()) std::memcpy(source->text, value.data(), value.size());
        } else {
            const std::string& text = literals_[static_cast<size_t>(pick(0, static_cast<int>(literals_.size()) - 1))];
            value = text;
            source = string_new_literal(text.data(), static_cast<int32_t>(text.size()));
        }
        string_assign(target.s, source);
        target.value = value;
    }

    void assign_fixed() {
        Held& target = fixed_[static_cast<size_t>(pick(0, static_cast<int>(fixed_.size()) - 1))];
        assign_into(target, target.value.size());
    }

    void make_temporary() {
        std::string value;
        expression(value);
    }

    // A variable freed and created again (as a unit would on re-entry).
    void replace_variable() {
        Held& h = variables_[static_cast<size_t>(pick(0, static_cast<int>(variables_.size()) - 1))];
        string_free(h.s);
        h.s = string_new(0, false);
        h.value.clear();
    }

    void compare_two() {
        std::string left_value;
        std::string right_value;
        BasicString* left = expression(left_value);
        BasicString* right = expression(right_value);
        EXPECT_EQ(string_equal(left, right), left_value == right_value ? -1 : 0);
        const bool less = std::lexicographical_compare(
            left_value.begin(), left_value.end(), right_value.begin(), right_value.end(),
            [](char a, char b) { return static_cast<uint8_t>(a) < static_cast<uint8_t>(b); });
        EXPECT_EQ(string_less(left, right), less ? -1 : 0);
    }

    void end_statement() {
        string_release_temporaries(mark_, 0);
        temps_.clear();
        EXPECT_EQ(string_temporary_mark(), mark_);
    }

    void check_values() {
        for (const Held& h : variables_) ASSERT_EQ(text_of(h.s), h.value);
        for (const Held& h : temps_) ASSERT_EQ(text_of(h.s), h.value);
        for (const Held& h : fixed_) ASSERT_EQ(text_of(h.s), h.value);
        for (const Held& h : conventional_) {
            ASSERT_EQ(text_of(h.s), h.value);
            const SegmentRecord record = segment_record_of(h.s);
            ASSERT_EQ(record.length, h.s->length);
            ASSERT_EQ(string_engine.conventional.base + record.offset, h.s->text);
        }
    }

    void check_lists() {
        check_list(string_engine.main.list, string_engine.main.base, string_engine.main.used);
        check_list(string_engine.conventional.list, string_engine.conventional.base, string_engine.conventional.used);
        const TemporaryList& temps = string_engine.temporaries;
        for (int32_t i = 1; i < temps.count; ++i) {
            if (temps.slots[i] != kDeadSlot) {
                ASSERT_EQ(temps.slots[i]->temporary_index, i);
            }
        }
    }

    // Live strings in list order lie in increasing, non-overlapping address order.
    static void check_list(const StorageList& list, const uint8_t* base, size_t used) {
        const uint8_t* end = base;
        for (int32_t i = 0; i < list.count; ++i) {
            const BasicString* s = list.slots[i];
            if (s == kDeadSlot) continue;
            ASSERT_EQ(s->storage_index, i);
            ASSERT_GE(s->text, end);
            end = s->text + s->length;
        }
        ASSERT_LE(end, base + used);
    }

    std::mt19937 random_;
    int32_t mark_ = 0;
    int32_t steps_ = 0;
    std::vector<Held> variables_;
    std::vector<Held> conventional_;
    std::vector<Held> fixed_;
    std::vector<std::string> fixed_storage_;
    std::vector<Held> temps_;
    std::vector<std::string> literals_;
};

TEST_F(StringEngineTest, RandomWorkMatchesAStdStringModel) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        string_engine_init();
        StringModel model(seed);
        for (int i = 0; i < 6000; ++i) {
            model.step();
            if (::testing::Test::HasFatalFailure()) return;
        }
    }
    // The sequence is long enough to have grown the space at least once.
    EXPECT_GT(string_engine.main.size, kInitialStringSpaceSize);
}

}  // namespace
