// Behaviour of string creation, assignment, concatenation, comparison, temporaries,
// the two string spaces and variable storage.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "frame/frame.h"
#include "strings/number_text.h"
#include "string_test_support.h"

namespace {

// ---------------------------------------------------------------- creation and sharing

TEST_F(StringEngineTest, LiteralRefersToTheProgramTextWithoutCopying) {
    static const char kText[] = "Hello";
    BasicString* s = string_new_literal(kText, 5);
    EXPECT_EQ(s->text, reinterpret_cast<const uint8_t*>(kText));
    EXPECT_EQ(s->length, 5);
    EXPECT_EQ(s->is_literal, 1);
    EXPECT_EQ(s->is_temporary, 1);
    EXPECT_EQ(string_new_from_c(nullptr)->length, 0);
    EXPECT_EQ(string_new_from_c("abc")->length, 3);
}

TEST_F(StringEngineTest, SharedStringsAreConventionalWithRecords) {
    ASSERT_NE(string_shared_empty, nullptr);
    ASSERT_NE(string_shared_space, nullptr);
    EXPECT_EQ(text_of(string_shared_empty), "");
    EXPECT_EQ(text_of(string_shared_space), " ");
    EXPECT_EQ(string_shared_space->in_conventional_space, 1);
    const SegmentRecord record = segment_record_of(string_shared_space);
    EXPECT_EQ(record.length, 1);
    EXPECT_EQ(EmulatedMemory[kDataSegmentBase + record.offset], ' ');
    EXPECT_EQ(string_shared_space->segment_record_offset, kConventionalTopAtStart - 8);
}

TEST_F(StringEngineTest, FreedDescriptorIsTheNextOneHandedOut) {
    BasicString* a = string_new(4, false);
    string_free(a);
    BasicString* b = string_new(7, false);
    EXPECT_EQ(a, b);
    EXPECT_EQ(b->length, 7);
    EXPECT_EQ(b->is_temporary, 0);
}

// ---------------------------------------------------------------- concatenation

TEST_F(StringEngineTest, ConcatWithEmptyReturnsTheOtherOperandItself) {
    BasicString* word = literal("word");
    BasicString* empty = literal("");
    EXPECT_EQ(string_concat(word, empty), word);
    EXPECT_EQ(string_concat(empty, word), word);
    // Nothing was freed: both operands are still registered temporaries.
    EXPECT_NE(word->temporary_index, 0);
    EXPECT_NE(empty->temporary_index, 0);
}

TEST_F(StringEngineTest, ConcatCopiesBothSidesAndFreesTemporaryOperands) {
    BasicString* variable = variable_with("abc");
    const int32_t before = string_temporary_mark();
    BasicString* joined = string_concat(variable, literal("def"));
    EXPECT_EQ(text_of(joined), "abcdef");
    EXPECT_EQ(text_of(variable), "abc");
    EXPECT_EQ(joined->is_temporary, 1);
    // The literal died; the variable stays.
    EXPECT_EQ(string_engine.temporaries.slots[before], kDeadSlot);
    EXPECT_EQ(joined->temporary_index, before + 1);
}

TEST_F(StringEngineTest, ConcatOfATemporaryWithItselfFreesItOnce) {
    BasicString* t = string_concat(variable_with("ab"), literal("c"));
    BasicString* doubled = string_concat(t, t);
    EXPECT_EQ(text_of(doubled), "abcabc");
    // A double free would hand the same descriptor out twice.
    BasicString* x = string_new(1, true);
    BasicString* y = string_new(1, true);
    EXPECT_NE(x, y);
    EXPECT_NE(x, doubled);
    EXPECT_NE(y, doubled);
}

TEST_F(StringEngineTest, ByteZeroIsAnOrdinaryCharacter) {
    const std::string with_zero("a\0b", 3);
    BasicString* v = variable_with(with_zero);
    EXPECT_EQ(text_of(v), with_zero);
    BasicString* joined = string_concat(v, literal_bytes(std::string("\0", 1)));
    EXPECT_EQ(text_of(joined), std::string("a\0b\0", 4));
    EXPECT_EQ(string_equal(v, literal_bytes(std::string("a\0c", 3))), 0);
    EXPECT_EQ(string_less(v, literal_bytes(std::string("a\0c", 3))), -1);
}

// ---------------------------------------------------------------- assignment

TEST_F(StringEngineTest, SelfAssignmentLeavesTheValue) {
    BasicString* v = variable_with("same");
    uint8_t* text = v->text;
    EXPECT_EQ(string_assign(v, v), v);
    EXPECT_EQ(text_of(v), "same");
    EXPECT_EQ(v->text, text);
}

struct FixedLengthCase {
    const char* value;
    const char* expected;
};

TEST_F(StringEngineTest, FixedLengthTargetPadsOrTruncates) {
    const FixedLengthCase cases[] = {
        {"Hello", "Hello   "},
        {"Hello World", "Hello Wo"},
        {"", "        "},
        {"12345678", "12345678"},
    };
    for (const FixedLengthCase& c : cases) {
        char storage[8];
        std::memset(storage, 'x', sizeof storage);
        BasicString* fixed = string_new_external(storage, 8, false);
        string_assign(fixed, literal(c.value));
        EXPECT_EQ(text_of(fixed), c.expected) << c.value;
        EXPECT_EQ(fixed->length, 8);
        EXPECT_EQ(fixed->text, reinterpret_cast<uint8_t*>(storage));
        string_free(fixed);
    }
}

TEST_F(StringEngineTest, AssigningATemporaryTakesOverItsText) {
    BasicString* v = variable_with("x");
    BasicString* t = string_concat(variable_with("long "), literal("value"));
    uint8_t* t_text = t->text;
    const int32_t t_slot = t->storage_index;
    string_assign(v, t);
    EXPECT_EQ(v->text, t_text);
    EXPECT_EQ(v->storage_index, t_slot);
    EXPECT_EQ(text_of(v), "long value");
    EXPECT_EQ(string_engine.main.list.slots[t_slot], v);
    // The temporary's descriptor went back to the pool.
    EXPECT_EQ(string_new(0, false), t);
}

TEST_F(StringEngineTest, ShorterValueIsCopiedIntoTheExistingRoom) {
    BasicString* v = variable_with("a long first value");
    variable_with("neighbour");
    uint8_t* text = v->text;
    string_assign(v, literal("short"));
    EXPECT_EQ(v->text, text);
    EXPECT_EQ(text_of(v), "short");
}

TEST_F(StringEngineTest, GrowsInPlaceIntoTheSpareBytes) {
    BasicString* v = string_new(0, false);
    BasicString* neighbour = variable_with("neighbour");
    uint8_t* text = v->text;
    const std::string grown(32, 'g');
    string_assign(v, literal_bytes(grown));
    EXPECT_EQ(v->text, text);
    EXPECT_EQ(text_of(v), grown);
    EXPECT_EQ(text_of(neighbour), "neighbour");

    // One more byte would run into the neighbour: the value moves to the top.
    const std::string longer(33, 'h');
    string_assign(v, literal_bytes(longer));
    EXPECT_NE(v->text, text);
    EXPECT_EQ(text_of(v), longer);
    EXPECT_EQ(text_of(neighbour), "neighbour");
    EXPECT_GT(v->storage_index, neighbour->storage_index);
}

TEST_F(StringEngineTest, LastStringGrowsInPlaceAndMovesTheTop) {
    BasicString* v = string_new(0, false);
    uint8_t* text = v->text;
    const std::string value(1000, 'z');
    string_assign(v, literal_bytes(value));
    EXPECT_EQ(v->text, text);
    EXPECT_EQ(string_engine.main.used, static_cast<size_t>(v->text - string_engine.main.base) + 1000);
}

TEST_F(StringEngineTest, GrowsOverTrailingDeadSlotsAndCutsTheList) {
    // Taking over an older temporary leaves the variable's own, later slot dead at the end.
    BasicString* t = string_new(5, true);
    std::memcpy(t->text, "tempo", 5);
    BasicString* v = string_new(0, false);
    string_assign(v, t);
    ASSERT_EQ(v->storage_index, 0);
    ASSERT_EQ(string_engine.main.list.count, 2);
    uint8_t* text = v->text;
    const std::string value(70, 'q');
    string_assign(v, literal_bytes(value));
    EXPECT_EQ(v->text, text);
    EXPECT_EQ(text_of(v), value);
    EXPECT_EQ(string_engine.main.list.count, 1);
    EXPECT_EQ(string_engine.main.used, 70u);
}

TEST_F(StringEngineTest, AssigningIntoALiteralGivesItStorageOfItsOwn) {
    static const char kText[] = "constant";
    BasicString* l = string_new_literal(kText, 8);
    string_assign(l, literal("changed value"));
    EXPECT_EQ(text_of(l), "changed value");
    EXPECT_STREQ(kText, "constant");
    EXPECT_EQ(l->is_literal, 0);
}

TEST_F(StringEngineTest, LargeCountsGrowEveryTable) {
    // More live strings than a descriptor block, a list or the free stack holds at start.
    constexpr int kCount = 70000;
    std::vector<BasicString*> temps;
    for (int i = 0; i < kCount; ++i) {
        BasicString* t = string_new(1, true);
        t->text[0] = static_cast<uint8_t>(i);
        temps.push_back(t);
    }
    EXPECT_GT(string_engine.main.list.capacity, kInitialListCapacity);
    EXPECT_GT(string_engine.temporaries.capacity, kInitialListCapacity);
    EXPECT_EQ(string_engine.pool.block_count, 2);
    for (int i = 0; i < kCount; ++i) ASSERT_EQ(temps[static_cast<size_t>(i)]->text[0], static_cast<uint8_t>(i));
    string_release_temporaries(mark_, 0);
    EXPECT_EQ(string_temporary_mark(), mark_);
    EXPECT_GT(string_engine.pool.free_capacity, kInitialFreeStackCapacity);
    EXPECT_EQ(string_engine.main.used, 0u);
}

TEST_F(StringEngineTest, MiddleDeadSlotIsPassedOverWhenTheNextLiveStringIsFarEnough) {
    BasicString* v = string_new(0, false);
    BasicString* middle = string_new(100, false);
    BasicString* after = variable_with("after");
    string_free(middle);
    uint8_t* text = v->text;
    const std::string value(120, 'r');
    string_assign(v, literal_bytes(value));
    EXPECT_EQ(v->text, text);
    EXPECT_EQ(text_of(v), value);
    EXPECT_EQ(text_of(after), "after");
}

// ---------------------------------------------------------------- freeing and the space

TEST_F(StringEngineTest, FreeingTheLastStringsLowersUsedButNotAMiddleOne) {
    BasicString* a = string_new(5, false);
    BasicString* b = string_new(6, false);
    BasicString* c = string_new(5, false);
    const size_t used_all = string_engine.main.used;
    string_free(b);
    EXPECT_EQ(string_engine.main.used, used_all);
    string_free(c);
    const size_t end_of_a = static_cast<size_t>(a->text - string_engine.main.base) + 5;
    EXPECT_EQ(string_engine.main.used, end_of_a + 32);
    string_free(a);
    EXPECT_EQ(string_engine.main.used, 0u);
}

TEST_F(StringEngineTest, FillingTheSpaceCompactsThenEnlargesKeepingContents) {
    std::vector<BasicString*> kept;
    std::vector<std::string> values;
    // Interleave kept and freed strings so compaction has holes to close.
    for (int i = 0; i < 40; ++i) {
        const std::string value(20000, static_cast<char>('A' + i % 26));
        BasicString* k = variable_with(value + std::to_string(i));
        kept.push_back(k);
        values.push_back(value + std::to_string(i));
        string_free(variable_with(std::string(20000, '-')));
        variable_with("pin");  // keeps the freed hole from being given back at once
    }
    EXPECT_EQ(string_engine.main.size, kInitialStringSpaceSize);
    const size_t before = string_engine.main.size;
    const std::string big(700000, 'B');
    BasicString* huge = variable_with(big);
    EXPECT_EQ(text_of(huge), big);
    // Relocation asks for the value's length, without spare bytes.
    EXPECT_EQ(string_engine.main.size, 2 * before + 700000);
    for (size_t i = 0; i < kept.size(); ++i) ASSERT_EQ(text_of(kept[i]), values[i]) << i;
}

TEST_F(StringEngineTest, CompactionLeavesSmallGapsAndClosesLargeOnes) {
    BasicString* a = variable_with("aaaa");   // followed by its 32 spare bytes
    BasicString* gap = variable_with(std::string(200, 'g'));
    BasicString* b = variable_with("bbbb");
    string_free(gap);
    uint8_t* a_text = a->text;
    uint8_t* b_text = b->text;
    // Ask for more than is left so that the space compacts.
    string_new(static_cast<int32_t>(kInitialStringSpaceSize - string_engine.main.used), false);
    EXPECT_EQ(a->text, a_text);          // at the base already
    EXPECT_LT(b->text, b_text);          // the 200-byte hole was closed
    EXPECT_EQ(b->text, a->text + 4);
    EXPECT_EQ(text_of(b), "bbbb");
}

// ---------------------------------------------------------------- temporaries

TEST_F(StringEngineTest, ReleaseFreesNewestFirstAndRestoresTheMark) {
    BasicString* older = string_new(3, true);
    BasicString* newer = string_new(3, true);
    EXPECT_EQ(string_release_temporaries(mark_, 42), 42);
    EXPECT_EQ(string_temporary_mark(), mark_);
    // The newest was recycled first, so the oldest sits on top of the free stack.
    EXPECT_EQ(string_new(0, false), older);
    EXPECT_EQ(string_new(0, false), newer);
}

TEST_F(StringEngineTest, ReleaseKeepsTheCountAtTheMarkOverDeadSlotsBelowIt) {
    BasicString* outer = string_new(1, true);
    const int32_t inner_mark = string_temporary_mark();
    string_free(outer);  // consumed while the inner unit runs
    string_new(1, true);
    string_release_temporaries(inner_mark, 0);
    EXPECT_EQ(string_temporary_mark(), inner_mark);
}

TEST_F(StringEngineTest, StatementLoopReclaimsItsHolesWithoutGrowing) {
    BasicString* name = string_new(0, false);
    // Enough statements to pass the list capacity and the space size several times.
    for (int i = 0; i < 40000; ++i) {
        string_assign(name, string_concat(literal("player"), number_text_int32(i)));
        string_release_temporaries(mark_, 0);
        ASSERT_EQ(string_temporary_mark(), mark_);
    }
    EXPECT_EQ(text_of(name), "player 39999");
    EXPECT_EQ(string_engine.main.size, kInitialStringSpaceSize);
    EXPECT_EQ(string_engine.main.list.capacity, kInitialListCapacity);
}

TEST_F(StringEngineTest, MakeTemporaryRegistersOnce) {
    BasicString* v = string_new(2, false);
    EXPECT_EQ(string_make_temporary(v), v);
    const int32_t index = v->temporary_index;
    string_make_temporary(v);
    EXPECT_EQ(v->temporary_index, index);
    string_release_temporaries(mark_, 0);
    EXPECT_EQ(string_engine.main.list.count, 0);
}

// ---------------------------------------------------------------- comparison

struct CompareCase {
    std::string left;
    std::string right;
    int32_t equal;
    int32_t less;
    int32_t greater;
};

TEST_F(StringEngineTest, ComparisonTable) {
    const CompareCase cases[] = {
        {"abc", "ABC", 0, 0, -1},
        {"", "", -1, 0, 0},
        {"ab", "abc", 0, -1, 0},
        {"abc", "ab", 0, 0, -1},
        {"", "a", 0, -1, 0},
        {"abc", "abcdef", 0, -1, 0},
        {std::string(1, static_cast<char>(200)), "A", 0, 0, -1},
        {std::string("\0", 1), "", 0, 0, -1},
        {std::string("x\0y", 3), std::string("x\0y", 3), -1, 0, 0},
        {"same", "same", -1, 0, 0},
    };
    for (const CompareCase& c : cases) {
        BasicString* l = literal_bytes(c.left);
        BasicString* r = literal_bytes(c.right);
        SCOPED_TRACE(c.left + " vs " + c.right);
        EXPECT_EQ(string_equal(l, r), c.equal);
        EXPECT_EQ(string_not_equal(l, r), c.equal ? 0 : -1);
        EXPECT_EQ(string_less(l, r), c.less);
        EXPECT_EQ(string_greater(l, r), c.greater);
        EXPECT_EQ(string_less_equal(l, r), c.greater ? 0 : -1);
        EXPECT_EQ(string_greater_equal(l, r), c.less ? 0 : -1);
        // Comparisons never free their operands.
        EXPECT_NE(l->temporary_index, 0);
        EXPECT_NE(r->temporary_index, 0);
    }
}

TEST_F(StringEngineTest, EqualityOfDifferentLengthsDoesNotReadTheBytes) {
    BasicString* a = string_new_literal(nullptr, 0);
    a->length = 3;
    a->text = nullptr;  // would crash if compared byte by byte
    EXPECT_EQ(string_equal(a, literal("abcd")), 0);
    a->length = 0;
    a->text = string_shared_empty->text;
}

// ---------------------------------------------------------------- conventional space

TEST_F(StringEngineTest, ConventionalRecordsFollowEveryChange) {
    BasicString* v = string_new_conventional(0, false);
    auto check_record = [&](const char* expected) {
        EXPECT_EQ(text_of(v), expected);
        const SegmentRecord record = segment_record_of(v);
        EXPECT_EQ(record.length, v->length);
        EXPECT_EQ(string_engine.conventional.base + record.offset, v->text);
    };
    string_assign(v, literal("first"));
    check_record("first");
    string_assign(v, literal("much longer second value"));
    check_record("much longer second value");
    string_assign(v, literal("3rd"));
    check_record("3rd");
    BasicString* t = string_new_conventional(4, true);
    std::memcpy(t->text, "temp", 4);
    string_assign(v, t);  // same space: taken over
    check_record("temp");
}

TEST_F(StringEngineTest, ConventionalCompactionPacksFromTheFirstOffset) {
    BasicString* a = string_new_conventional(0, false);
    string_assign(a, literal("aaa"));
    BasicString* hole = string_new_conventional(0, false);
    string_assign(hole, literal_bytes(std::string(35000, 'h')));
    BasicString* b = string_new_conventional(0, false);
    string_assign(b, literal("bbb"));
    string_free(hole);
    // Does not fit above the used offset until the hole is closed.
    BasicString* big = string_new_conventional(34000, false);
    EXPECT_EQ(text_of(a), "aaa");
    EXPECT_EQ(text_of(b), "bbb");
    EXPECT_EQ(string_engine.conventional.base + segment_record_of(b).offset, b->text);
    EXPECT_EQ(big->text + big->length, string_engine.conventional.base + string_engine.conventional.used);
    EXPECT_EQ(text_of(string_shared_space), " ");
}

TEST_F(StringEngineTest, FreedSegmentRecordsAreReused) {
    const uint32_t top = string_engine.conventional.top;
    for (int i = 0; i < 40000; ++i) string_free(string_new_conventional(0, false));
    EXPECT_GE(string_engine.conventional.top, top - 4);
}

TEST_F(StringEngineTest, ExternalInsideTheDataSegmentGetsARecord) {
    uint8_t* inside = EmulatedMemory + kDataSegmentBase + 16;
    BasicString* in = string_new_external(inside, 6, false);
    ASSERT_NE(in->segment_record, nullptr);
    EXPECT_EQ(segment_record_of(in).offset, 16);
    EXPECT_EQ(segment_record_of(in).length, 6);
    char outside[6];
    EXPECT_EQ(string_new_external(outside, 6, false)->segment_record, nullptr);
    EXPECT_EQ(string_new_external(EmulatedMemory + kDataSegmentBase, 6, false)->segment_record, nullptr);
    EXPECT_EQ(string_new_external(inside, 6, true)->segment_record, nullptr);
}

// ---------------------------------------------------------------- binding and storage

BasicString* unbound_string = nullptr;
void record_unbind(BasicString* s) { unbound_string = s; }

TEST_F(StringEngineTest, FreeingABoundStringUnbindsItFirst) {
    string_field_unbind_hook = record_unbind;
    BasicString* v = string_new(4, false);
    v->field_binding = reinterpret_cast<FieldBinding*>(v);  // any non-null record
    string_free(v);
    string_field_unbind_hook = nullptr;
    EXPECT_EQ(unbound_string, v);
    EXPECT_EQ(string_new(0, false)->field_binding, nullptr);
}

TEST_F(StringEngineTest, VariableCellsAreZeroedAlignedAndSurviveNewChunks) {
    auto* first = static_cast<int16_t*>(variable_storage_take(2));
    auto* number = static_cast<double*>(variable_storage_take(8));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(number) % alignof(double), 0u);
    *first = 7;
    *number = 2.5;
    void* saved = variable_storage_take(4);
    *static_cast<int32_t*>(saved) = 99;
    variable_storage_reset(saved);
    EXPECT_EQ(*static_cast<int32_t*>(variable_storage_take(4)), 0);

    // A request past the chunk's end opens a new one; the old cells keep their values.
    auto* big = static_cast<uint8_t*>(variable_storage_take(static_cast<int32_t>(kInitialVariableChunkSize)));
    big[kInitialVariableChunkSize - 1] = 1;
    EXPECT_EQ(string_engine.variables.chunk_size, 3 * kInitialVariableChunkSize);
    EXPECT_EQ(*first, 7);
    EXPECT_EQ(*number, 2.5);
    // A position outside the current chunk resets to the chunk's start.
    variable_storage_reset(first);
    EXPECT_EQ(variable_storage_take(1), big);
}

}  // namespace
