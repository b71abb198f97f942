// INPUT: per-type checking of every keystroke, stored values, echo and take-back,
// fields, Tab, the line limit, the end of the line and the stop request.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include "input_fixture.h"
#include "keyboard/private/input_state.h"

namespace {

constexpr uint32_t kInt8 = 8;
constexpr uint32_t kInt16 = 16;
constexpr uint32_t kInt32 = 32;
constexpr uint32_t kInt64 = 64;
constexpr uint32_t kUint8 = kInputTypeUnsigned | 8;
constexpr uint32_t kUint16 = kInputTypeUnsigned | 16;
constexpr uint32_t kUint32 = kInputTypeUnsigned | 32;
constexpr uint32_t kUint64 = kInputTypeUnsigned | 64;
constexpr uint32_t kSingle = kInputTypeFloat | 32;
constexpr uint32_t kDouble = kInputTypeFloat | 64;
constexpr uint32_t kExtended = kInputTypeFloat | 256;

constexpr uint8_t kGuard = 0xAA;

uint32_t storage_bytes(uint32_t type_word) {
    uint32_t size = type_word & kInputTypeSizeMask;
    if (type_word & kInputTypeFloat) return size == 256 ? 10 : size / 8;
    return size / 8;
}

struct IntegerCase {
    const char* name;
    uint32_t type_word;
    const char* keys;     // Enter is added
    const char* echoed;   // what stays on the screen after "? "
    int64_t value;        // read back sign- or zero-extended from the target's size
};

const IntegerCase kIntegerCases[] = {
    {"int16_digit_over_limit_rejected", kInt16, "32768", "3276", 3276},
    {"int16_lowest", kInt16, "-32768", "-32768", -32768},
    {"int16_highest", kInt16, "32767", "32767", 32767},
    {"int16_below_lowest_rejected", kInt16, "-32769", "-3276", -3276},
    {"int16_zero", kInt16, "0", "0", 0},
    {"int16_lone_minus", kInt16, "-", "-", 0},
    {"int16_lone_radix_prefix", kInt16, "&H", "&H", 0},
    {"int16_lone_ampersand", kInt16, "&", "&", 0},
    {"int16_leading_zero_rejected", kInt16, "05", "0", 0},
    {"int16_minus_zero_digit_rejected", kInt16, "-05", "-0", 0},
    {"int16_point_rejected", kInt16, "1.5", "15", 15},
    {"int16_hex_bit_pattern", kInt16, "&HFFFF", "&HFFFF", -1},
    {"int16_fifth_hex_digit_rejected", kInt16, "&H0FFFF", "&H0FFF", 0x0FFF},
    {"int16_octal", kInt16, "&O177777", "&O177777", -1},
    {"int16_octal_too_large_rejected", kInt16, "&O277777", "&O27777", 0x2FFF},
    {"int16_bad_hex_digit_rejected", kInt16, "&HG1", "&H1", 1},
    {"int16_letters_rejected", kInt16, "a1b2", "12", 12},
    {"int16_backspace", kInt16, "12\b3", "13", 13},
    {"int16_space_rejected", kInt16, "1 2", "12", 12},
    {"uint16_highest", kUint16, "65535", "65535", 65535},
    {"uint16_minus_rejected", kUint16, "-7", "7", 7},
    {"uint16_over_limit_rejected", kUint16, "65536", "6553", 6553},
    {"int8_highest", kInt8, "127", "127", 127},
    {"int8_over_rejected", kInt8, "128", "12", 12},
    {"int8_lowest", kInt8, "-128", "-128", -128},
    {"int8_hex", kInt8, "&HFF", "&HFF", -1},
    {"int8_third_hex_digit_rejected", kInt8, "&H0FF", "&H0F", 15},
    {"uint8_highest", kUint8, "255", "255", 255},
    {"int32_over_rejected", kInt32, "2147483648", "214748364", 214748364},
    {"int32_lowest", kInt32, "-2147483648", "-2147483648", -2147483648LL},
    {"int32_hex", kInt32, "&HFFFFFFFF", "&HFFFFFFFF", -1},
    {"int32_octal", kInt32, "&O37777777777", "&O37777777777", -1},
    {"uint32_highest", kUint32, "4294967295", "4294967295", 4294967295LL},
    {"int64_highest", kInt64, "9223372036854775807", "9223372036854775807", INT64_MAX},
    {"int64_over_rejected", kInt64, "9223372036854775808", "922337203685477580", 922337203685477580LL},
    {"int64_lowest", kInt64, "-9223372036854775808", "-9223372036854775808", INT64_MIN},
    {"int64_below_lowest_rejected", kInt64, "-9223372036854775809", "-922337203685477580",
     -922337203685477580LL},
    {"int64_twenty_digits_rejected", kInt64, "12345678901234567890", "1234567890123456789",
     1234567890123456789LL},
    {"int64_hex", kInt64, "&HFFFFFFFFFFFFFFFF", "&HFFFFFFFFFFFFFFFF", -1},
    {"int64_leading_zero_rejected", kInt64, "007", "0", 0},
    {"uint64_highest", kUint64, "18446744073709551615", "18446744073709551615", -1},
    {"uint64_over_rejected", kUint64, "18446744073709551616", "1844674407370955161",
     1844674407370955161LL},
    {"uint64_minus_rejected", kUint64, "-1", "1", 1},
};

int64_t read_integer(const uint8_t* storage, uint32_t type_word) {
    uint32_t size = type_word & kInputTypeSizeMask;
    bool is_unsigned = type_word & kInputTypeUnsigned;
    switch (size) {
    case 8: { int8_t v; std::memcpy(&v, storage, 1); return is_unsigned ? static_cast<uint8_t>(v) : v; }
    case 16: { int16_t v; std::memcpy(&v, storage, 2); return is_unsigned ? static_cast<uint16_t>(v) : v; }
    case 32: {
        int32_t v;
        std::memcpy(&v, storage, 4);
        return is_unsigned ? static_cast<int64_t>(static_cast<uint32_t>(v)) : static_cast<int64_t>(v);
    }
    default: { int64_t v; std::memcpy(&v, storage, 8); return v; }
    }
}

class IntegerInput : public InputTest, public ::testing::WithParamInterface<IntegerCase> {};

TEST_P(IntegerInput, StoresTheAcceptedText) {
    const IntegerCase& c = GetParam();
    uint8_t storage[16];
    std::memset(storage, kGuard, sizeof storage);
    InputTargetList[1] = InputTarget{c.type_word, storage};
    prompt("? ");
    run_input(typed(std::string(c.keys) + "\r"), 1);
    EXPECT_EQ(row_text(1), std::string("? ") + c.echoed);
    EXPECT_EQ(read_integer(storage, c.type_word), c.value);
    for (uint32_t i = storage_bytes(c.type_word); i < sizeof storage; ++i) EXPECT_EQ(storage[i], kGuard);
}

INSTANTIATE_TEST_SUITE_P(Types, IntegerInput, ::testing::ValuesIn(kIntegerCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct FloatCase {
    const char* name;
    uint32_t type_word;
    const char* keys;
    const char* echoed;
    long double value;
};

const FloatCase kFloatCases[] = {
    {"single_exponent", kSingle, "1.5E3", "1.5E3", 1500},
    {"single_d_exponent_rejected", kSingle, "1.5D3", "1.53", 1.53f},
    {"single_exponent_before_digit_rejected", kSingle, "0.0E1", "0.01", 0.01f},
    {"single_largest", kSingle, "3.4E38", "3.4E38", 3.4e38f},
    {"single_too_large_rejected", kSingle, "3.5E38", "3.5E3", 3500},
    {"single_nine_integer_digits", kSingle, "123456789", "123456789", 123456789.0f},
    {"single_nine_significant_rejected", kSingle, "1.23456789", "1.2345678", 1.2345678f},
    {"single_lone_minus", kSingle, "-", "-", 0},
    {"single_negative", kSingle, "-2.25", "-2.25", -2.25f},
    {"single_point_first", kSingle, ".5", ".5", 0.5f},
    {"single_leading_zero_needs_point", kSingle, "01", "0", 0},
    {"single_exponent_after_sign_rejected", kSingle, "-E5", "-5", -5},
    {"single_exponent_after_point_rejected", kSingle, "1.E5", "1.5", 1.5f},
    {"single_exponent_leading_zero_rejected", kSingle, "1E05", "1E0", 1},
    {"single_negative_exponent", kSingle, "25E-1", "25E-1", 2.5f},
    {"single_smallest", kSingle, "1.401298E-45", "1.401298E-45", 1.401298E-45f},
    {"single_below_smallest_rejected", kSingle, "1E-46", "1E-4", 1e-4f},
    {"single_hex", kSingle, "&H10", "&H10", 16},
    {"single_second_point_rejected", kSingle, "1.2.3", "1.23", 1.23f},
    {"double_d_exponent", kDouble, "1.5D3", "1.5D3", 1500},
    {"double_sixteen_digits", kDouble, "1.234567890123456", "1.234567890123456", 1.234567890123456},
    {"double_seventeen_digits_rejected", kDouble, "1.2345678901234567", "1.234567890123456",
     1.234567890123456},
    {"double_too_large_rejected", kDouble, "1.8D308", "1.8D30", 1.8e30},
    {"double_largest", kDouble, "1.7976931D308", "1.7976931D308", 1.7976931e308},
    {"single_rounding_past_largest_rejected", kSingle, "3.4028239E38", "3.4028239E3", 3402.8239f},
    {"double_rounding_past_largest_rejected", kDouble, "1.7976931349D308", "1.7976931349D30",
     1.7976931349e30},
    {"extended_d_exponent", kExtended, "1.5D3", "1.5D3", 1500},
    {"extended_beyond_double_range", kExtended, "1E400", "1E400", 1E400L},
    {"extended_beyond_its_own_range_rejected", kExtended, "1E5000", "1E500", 1E500L},
};

long double read_float(const uint8_t* storage, uint32_t type_word) {
    switch (type_word & kInputTypeSizeMask) {
    case 32: { float v; std::memcpy(&v, storage, 4); return v; }
    case 64: { double v; std::memcpy(&v, storage, 8); return v; }
    default: { long double v = 0; std::memcpy(&v, storage, 10); return v; }
    }
}

class FloatInput : public InputTest, public ::testing::WithParamInterface<FloatCase> {};

TEST_P(FloatInput, StoresTheAcceptedText) {
    const FloatCase& c = GetParam();
    uint8_t storage[16];
    std::memset(storage, kGuard, sizeof storage);
    InputTargetList[1] = InputTarget{c.type_word, storage};
    prompt("? ");
    run_input(typed(std::string(c.keys) + "\r"), 1);
    EXPECT_EQ(row_text(1), std::string("? ") + c.echoed);
    EXPECT_EQ(read_float(storage, c.type_word), c.value);
    for (uint32_t i = storage_bytes(c.type_word); i < sizeof storage; ++i) EXPECT_EQ(storage[i], kGuard);
}

INSTANTIATE_TEST_SUITE_P(Types, FloatInput, ::testing::ValuesIn(kFloatCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct StringCase {
    const char* name;
    uint32_t first_type;
    int32_t count;
    const char* keys;
    const char* echoed;
    const char* first;
    const char* second;
};

const StringCase kStringCases[] = {
    {"comma_rejected_with_one_target", kInputTypeString, 1, "a,b", "ab", "ab", ""},
    {"two_targets", kInputTypeString, 2, "a,b", "a,b", "a", "b"},
    {"quoted_comma", kInputTypeString, 1, "\"x,y\"", "\"x,y\"", "x,y", ""},
    {"after_closing_quote_only_comma", kInputTypeString, 2, "\"x\"y,z", "\"x\",z", "x", "z"},
    {"quote_inside_field_is_kept", kInputTypeString, 1, "a\"b", "a\"b", "a\"b", ""},
    {"line_mode_keeps_commas_and_quotes", kInputTypeString | kInputTypeLineMode, 1, "\"a\",b",
     "\"a\",b", "\"a\",b", ""},
    {"third_field_rejected", kInputTypeString, 2, "a,b,c", "a,bc", "a", "bc"},
    {"tab_after_three", kInputTypeString, 1, "abc\t", "abc", "abc     ", ""},
    {"tab_after_eight", kInputTypeString, 1, "abcdefgh\t", "abcdefgh", "abcdefgh        ", ""},
    {"backspace_on_empty_line", kInputTypeString, 1, "\b\bx", "x", "x", ""},
    {"control_characters_ignored", kInputTypeString, 1, "a\x0b\x0c\x1c\x1f" "b", "ab", "ab", ""},
};

class StringInput : public InputTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringInput, SplitsAndStores) {
    const StringCase& c = GetParam();
    BasicString* first = string_new(0, false);
    BasicString* second = string_new(0, false);
    InputTargetList[1] = InputTarget{c.first_type, first};
    InputTargetList[2] = InputTarget{kInputTypeString, second};
    prompt("? ");
    run_input(typed(std::string(c.keys) + "\r"), c.count);
    EXPECT_EQ(row_text(1), std::string("? ") + c.echoed);
    EXPECT_EQ(text_of(first), c.first);
    EXPECT_EQ(text_of(second), c.second);
    string_free(first);
    string_free(second);
}

INSTANTIATE_TEST_SUITE_P(Fields, StringInput, ::testing::ValuesIn(kStringCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(InputTest, FixedLengthStringIsPaddedAndLimited) {
    char storage[4] = {'q', 'q', 'q', '!'};
    BasicString* fixed = string_new_external(storage, 3, false);
    InputTargetList[1] = InputTarget{kInputTypeString, fixed};
    run_input(typed("abcd\r"), 1);
    EXPECT_EQ(std::string(storage, 4), "abc!");
    run_input(typed("z\r"), 1);
    EXPECT_EQ(std::string(storage, 4), "z  !");
    string_free(fixed);
}

TEST_F(InputTest, MixedTargetsGetTheirFields) {
    int16_t number = 99;
    BasicString* text = string_new(0, false);
    InputTargetList[1] = InputTarget{kInt16, &number};
    InputTargetList[2] = InputTarget{kInputTypeString, text};
    run_input(typed("12x,hi\r"), 2);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(text_of(text), "hi");
    string_free(text);
}

TEST_F(InputTest, TargetsAreClearedAndUnreachedFieldsStayCleared) {
    int16_t a = 5, b = 6;
    InputTargetList[1] = InputTarget{kInt16, &a};
    InputTargetList[2] = InputTarget{kInt16, &b};
    run_input(typed("7\r"), 2);
    EXPECT_EQ(a, 7);
    EXPECT_EQ(b, 0);
}

TEST_F(InputTest, NoStoreTargetsAreLeftAlone) {
    int16_t a = 5;
    InputTargetList[1] = InputTarget{kInt16 | kInputTypeNoStore, &a};
    run_input(typed("77x\r"), 1);
    EXPECT_EQ(a, 5);
    EXPECT_EQ(row_text(1), "77");
}

TEST_F(InputTest, TabSpacesRejectedByANumber) {
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    run_input(typed("12\t3\r"), 1);
    EXPECT_EQ(a, 123);
    EXPECT_EQ(row_text(1), "123");
}

TEST_F(InputTest, LineStopsAt255Characters) {
    BasicString* text = string_new(0, false);
    InputTargetList[1] = InputTarget{kInputTypeString, text};
    run_input(typed(std::string(260, 'x') + "\r"), 1);
    EXPECT_EQ(text->length, 255);
    string_free(text);
}

TEST_F(InputTest, ExtendedKeysDoNothing) {
    BasicString* text = string_new(0, false);
    InputTargetList[1] = InputTarget{kInputTypeString, text};
    run_input({'a', 0x3B00, 0x4800, 0x4B00, 'b', '\r'}, 1);
    EXPECT_EQ(text_of(text), "ab");
    EXPECT_EQ(row_text(1), "ab");
    string_free(text);
}

TEST_F(InputTest, EnterMovesToTheNextLineAndKeepsTheText) {
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    prompt("Number? ");
    run_input(typed("42\r"), 1, 1);
    EXPECT_EQ(row_text(1), "Number? 42");
    EXPECT_EQ(dest()->cursor_x, 1);
    EXPECT_EQ(dest()->cursor_y, 2);
}

TEST_F(InputTest, WithoutNewlineTheCursorStaysAfterTheText) {
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    run_input(typed("42\r"), 1, 0);
    EXPECT_EQ(dest()->cursor_x, 3);
    EXPECT_EQ(dest()->cursor_y, 1);
}

TEST_F(InputTest, RejectedKeyAtTheBottomRowLeavesNoScroll) {
    screen_locate(24, 1, 0, 0, 0, 3);
    prompt("above");
    screen_locate(25, 79, 0, 0, 0, 3);
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    // The echo of the letter wraps and scrolls the screen; taking it back undoes that.
    run_input(typed("12x\r"), 1, 0);
    EXPECT_EQ(row_text(24), "above");
    EXPECT_EQ(row_text(25).substr(78), "12");
    EXPECT_EQ(a, 12);
}

TEST_F(InputTest, RedrawKeepsTheWrapStateOfTheLastColumn) {
    screen_locate(1, 79, 0, 0, 0, 3);
    BasicString* text = string_new(0, false);
    InputTargetList[1] = InputTarget{kInputTypeString, text};
    // "ab" fills columns 79 and 80; Backspace of a third key redraws; "c" must go to row 2.
    run_input(typed("abd\bc\r"), 1, 0);
    EXPECT_EQ(text_of(text), "abc");
    EXPECT_EQ(row_text(1).substr(78), "ab");
    EXPECT_EQ(row_text(2), "c");
    string_free(text);
}

TEST_F(InputTest, CursorIsShownWhileTypingAndRestoredAfter) {
    dest()->cursor_visible = 0;
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    ImageRecord* image = dest();
    std::atomic<bool> seen_visible{false};
    // Types only once the cursor shows, so INPUT cannot end before it was seen.
    std::thread typist([&] {
        while (std::atomic_ref<uint8_t>(image->cursor_visible).load() == 0) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        seen_visible.store(true);
        for (KeyHitCode code : typed("1\r")) {
            key_press(code);
            key_release(code);
        }
    });
    input_statement(1, 1);
    typist.join();
    EXPECT_TRUE(seen_visible.load());
    EXPECT_EQ(image->cursor_visible, 0);
}

TEST_F(InputTest, ManualDisplayGetsOneMoreFrameAtTheEnd) {
    AutoDisplay.store(0);
    std::atomic<bool> saw_manual_request{false};
    std::atomic<bool> done{false};
    // Stands in for the display loop: a frame turns -1 into 0.
    std::thread loop([&] {
        while (!done.load()) {
            int32_t expected = -1;
            if (AutoDisplay.compare_exchange_strong(expected, 0)) saw_manual_request.store(true);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    run_input(typed("3\r"), 1);
    done.store(true);
    loop.join();
    EXPECT_TRUE(saw_manual_request.load());
    EXPECT_EQ(AutoDisplay.load(), 0);
    EXPECT_EQ(a, 3);
}

TEST_F(InputTest, StopRequestEndsTheWait) {
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    std::thread closer([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        error_state.stop_requested.store(1);
    });
    auto start = std::chrono::steady_clock::now();
    input_statement(1, 1);
    closer.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST_F(InputTest, PendingErrorSkipsTheStatement) {
    int16_t a = 9;
    InputTargetList[1] = InputTarget{kInt16, &a};
    error_state.error_number = 5;
    input_statement(1, 1);
    EXPECT_EQ(a, 9);
}

TEST_F(InputTest, SourceImageIsRestored) {
    int32_t source = image_get_source();
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    run_input(typed("1\r"), 1);
    EXPECT_EQ(image_get_source(), source);
}

struct RadixCase {
    const char* text;
    int32_t result;
    uint64_t value;
};

const RadixCase kRadixCases[] = {
    {"", 1, 0},           {"12", 0, 0},          {"&", 1, 0},
    {"&H", 1, 0},         {"&h1f", 1, 0x1F},     {"&O17", 2, 15},
    {"&o", 2, 0},         {"&X1", 0, 0},         {"&H1G", 0, 0},
    {"&O8", 0, 0},        {"&HFFFFFFFFFFFFFFFF", 1, UINT64_MAX},
    {"&H1FFFFFFFFFFFFFFFF", 0, 0},
    {"&O1777777777777777777777", 2, UINT64_MAX},
    {"&O2777777777777777777777", 0, 0},
};

TEST(InputParseRadix, Literals) {
    for (const RadixCase& c : kRadixCases) {
        SCOPED_TRACE(c.text);
        int32_t result = input_parse_radix(reinterpret_cast<const uint8_t*>(c.text),
                                           static_cast<int32_t>(std::strlen(c.text)));
        EXPECT_EQ(result, c.result);
        if (result != 0) {
            EXPECT_EQ(input_radix_value, c.value);
        }
    }
}

}  // namespace

namespace {

// Graphics screens: the line is drawn as glyph pixels and the editor's own cursor is
// inverted in and out, so once INPUT ends the picture equals plain printing of the line.
TEST_F(InputTest, GraphicsScreenLeavesOnlyTheLine) {
    screen_mode(13, 0, 0, kScreenPassedMode);
    ASSERT_EQ(error_state.error_number, 0u);
    BasicString* text = string_new(0, false);
    InputTargetList[1] = InputTarget{kInputTypeString, text};
    prompt("? ");
    run_input(typed("ab\bc\r"), 1, 0);
    EXPECT_EQ(text_of(text), "ac");
    const ImageRecord* image = dest();
    std::vector<uint8_t> after(image->pixels, image->pixels + image->width * image->height);

    screen_mode(0, 0, 0, kScreenPassedMode);
    screen_mode(13, 0, 0, kScreenPassedMode);
    prompt("? ac");
    const ImageRecord* reference = dest();
    std::vector<uint8_t> expected(reference->pixels, reference->pixels + reference->width * reference->height);
    EXPECT_TRUE(after == expected);
    EXPECT_NE(std::count(expected.begin(), expected.end(), 0), static_cast<long>(expected.size()));
    string_free(text);
}

TEST_F(InputTest, GraphicsCursorIsDrawnWhileWaitingAndRemovedAfter) {
    screen_mode(13, 0, 0, kScreenPassedMode);
    static ImageRecord* image;
    static int lit_pixels;
    image = dest();
    lit_pixels = 0;
    std::vector<uint8_t> blank(image->pixels, image->pixels + image->width * image->height);
    int16_t a = 0;
    InputTargetList[1] = InputTarget{kInt16, &a};
    // The wait step runs on INPUT's own thread with the cursor already drawn: count the
    // lit pixels of the first cell, then end the line.
    input_wait_hook = [] {
        for (int y = 0; y < 8; ++y) {
            for (int x = 0; x < 8; ++x) lit_pixels += image->pixels[y * image->width + x] != 0;
        }
        key_press(13);
        key_release(13);
    };
    input_statement(1, 0);
    input_wait_hook = nullptr;
    EXPECT_EQ(lit_pixels, 64);  // a full 8 x 8 block in mode 13's 8 x 8 font
    EXPECT_TRUE(std::equal(blank.begin(), blank.end(), image->pixels));
}

}  // namespace
