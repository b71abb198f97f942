// STR$ and VAL: the fixed number style, its digit and exponent boundaries, and the
// based and decimal forms VAL reads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "errors/errors.h"
#include "strings/number_text.h"
#include "string_test_support.h"

namespace {

class NumberTextTest : public StringEngineTest {
protected:
    void SetUp() override {
        StringEngineTest::SetUp();
        error_state.error_number = 0;
    }
    void TearDown() override {
        string_release_temporaries(mark_, 0);
        error_state.error_number = 0;
        error_state.event_pending = 0;
    }
};

// ---------------------------------------------------------------- STR$ tables

struct SingleCase {
    float value;
    const char* text;
};

TEST_F(NumberTextTest, SingleTable) {
    const SingleCase cases[] = {
        {0.0f, " 0"},
        {-0.0f, " 0"},
        {0.1f, " .1"},
        {100.0f, " 100"},
        {1e7f, " 1E+07"},
        {1234567.0f, " 1234567"},
        {0.5f, " .5"},
        {-0.5f, "-.5"},
        {1e-7f, " .0000001"},
        {12345678.0f, " 1.234568E+07"},
        {1e-8f, " 1E-08"},
        {-2.5e20f, "-2.5E+20"},
        // Fixed notation ends past six as the exponent and eight zeros after the point.
        {999999.0f, " 999999"},
        {1e6f, " 1000000"},
        {9999999.0f, " 9999999"},
        {1.5e-7f, " 1.5E-07"},
        {0.0123456f, " .0123456"},
        {1.234567e-2f, " 1.234567E-02"},
        {3.14159265f, " 3.141593"},
        {-1.0f, "-1"},
        {1.0f / 3.0f, " .3333333"},
        {2.0f / 3.0f, " .6666667"},
        {9.9999999f, " 10"},
        {3.4028235e38f, " 3.402823E+38"},
        {1.4e-45f, " 1.401298E-45"},
        {HUGE_VALF, " INF"},
        {-HUGE_VALF, "-INF"},
    };
    for (const SingleCase& c : cases) {
        EXPECT_EQ(text_of(number_text_single(c.value)), c.text) << c.value;
    }
}

struct DoubleCase {
    double value;
    const char* text;
};

TEST_F(NumberTextTest, DoubleTable) {
    const double hundred = 100.0;
    const DoubleCase cases[] = {
        {0.0, " 0"},
        {1.0 / 3.0, " .3333333333333333"},
        {1e16, " 1D+16"},
        {0.57 * hundred, " 57"},
        {4.35 * hundred, " 435"},
        {1.5e300, " 1.5D+300"},
        {1e-20, " 1D-20"},
        {-2.5, "-2.5"},
        {0.1, " .1"},
        {1e15, " 1000000000000000"},
        {999999999999999.0, " 999999999999999"},
        {1234567890123456.0, " 1234567890123456"},
        {12345678901234567.0, " 1.234567890123457D+16"},
        {1e-16, " .0000000000000001"},
        {1e-17, " 1D-17"},
        {1.5e-16, " 1.5D-16"},
        {1.25e-14, " .0000000000000125"},
        {1.25e-15, " 1.25D-15"},
        {4575361729241399.0, " 4575361729241399"},
        {9999999999999999.0, " 1D+16"},
        {1e100, " 1D+100"},
        {-1e-100, "-1D-100"},
        {0.1 + 0.2, " .3"},
        {2.0 / 3.0, " .6666666666666666"},
        {1.7976931348623157e308, " 1.797693134862316D+308"},
        {4.9e-324, " 4.940656458412465D-324"},
        {std::nan(""), " NAN"},
    };
    for (const DoubleCase& c : cases) {
        EXPECT_EQ(text_of(number_text_double(c.value)), c.text) << c.value;
    }
    EXPECT_EQ(text_of(number_text_extended(1.0L / 3.0L)), " .3333333333333333");
}

TEST_F(NumberTextTest, IntegerTable) {
    struct Case {
        BasicString* s;
        const char* text;
        int32_t room;
    };
    const Case cases[] = {
        {number_text_int16(5), " 5", 6},
        {number_text_int16(-5), "-5", 6},
        {number_text_int8(-128), "-128", 4},
        {number_text_int8(127), " 127", 4},
        {number_text_int16(-32768), "-32768", 6},
        {number_text_int32(INT32_MIN), "-2147483648", 11},
        {number_text_int32(0), " 0", 11},
        {number_text_int64(INT64_MIN), "-9223372036854775808", 20},
        {number_text_int64(INT64_MAX), " 9223372036854775807", 20},
        {number_text_uint8(255), " 255", 4},
        {number_text_uint16(65535), " 65535", 6},
        {number_text_uint32(4294967295u), " 4294967295", 11},
        {number_text_uint64(UINT64_MAX), " 18446744073709551615", 21},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(text_of(c.s), c.text);
        EXPECT_EQ(c.s->is_temporary, 1);
        // The room for the longest result follows the text in the space.
        const BasicString* next = string_new(0, false);
        EXPECT_GE(next->text, c.s->text + c.room) << c.text;
    }
}

// ---------------------------------------------------------------- STR$ against the rules

// Normalises printf's exponent to three digits: "d.dddE+dd" becomes "d.dddE+0dd".
std::string three_digit_exponent(const char* formatted) {
    std::string s = formatted;
    const size_t mark = s.find('E');
    if (s.size() - mark == 4) s.insert(mark + 2, "0");
    return s;
}

// The conversion done literally with printf, one step of the rules at a time.
std::string reference_text(double value, int digits, char mark, int max_fixed, int min_exponent_minus_count) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "% .*E", digits - 1, value);
    std::string s = three_digit_exponent(buffer);
    const int last = digits + 1;  // position of the last digit
    if (digits == 16 && s[static_cast<size_t>(last)] == '9') {
        std::snprintf(buffer, sizeof buffer, "% .14E", value);
        const std::string shorter = three_digit_exponent(buffer);
        s = shorter.substr(0, 17) + "0" + shorter.substr(17);
    }
    int count = digits;
    for (int position = last; position >= 1; --position) {
        if (position == 2) continue;
        if (s[static_cast<size_t>(position)] != '0') break;
        --count;
    }
    if (count == 0) return " 0";
    const int e = std::atoi(s.c_str() + last + 2);
    if (e <= max_fixed && e - count >= min_exponent_minus_count) {
        const int decimals = std::max(count - e - 1, 0);
        std::snprintf(buffer, sizeof buffer, "% .*f", decimals, value);
        std::string fixed = buffer;
        if (fixed[1] == '0') fixed.erase(1, 1);
        return fixed;
    }
    std::string r;
    r += s[0];
    r += s[1];
    if (count > 1) r += "." + s.substr(3, static_cast<size_t>(count - 1));
    r += mark;
    r += s[static_cast<size_t>(last) + 2];
    const int magnitude = std::abs(e);
    std::snprintf(buffer, sizeof buffer, magnitude > 99 ? "%03d" : "%02d", magnitude);
    return r + buffer;
}

TEST_F(NumberTextTest, MatchesThePrintfRulesOnManyValues) {
    std::mt19937_64 random(12345);
    std::uniform_int_distribution<int> exponent(-22, 22);
    std::uniform_int_distribution<int64_t> mantissa(0, 99999999999999999);
    char out[32];
    const int rounds = std::getenv("NUMBER_TEXT_ROUNDS") ? std::atoi(std::getenv("NUMBER_TEXT_ROUNDS")) : 50000;
    for (int i = 0; i < rounds; ++i) {
        double value;
        switch (i % 5) {
        case 0: {  // any bit pattern
            const uint64_t bits = random();
            std::memcpy(&value, &bits, sizeof value);
            if (!std::isfinite(value)) continue;
            break;
        }
        case 1:  // short decimals, where the fixed form and rounding carries live
            value = static_cast<double>(mantissa(random) % 100000) * std::pow(10.0, exponent(random));
            break;
        case 2:  // sums and products that leave binary noise in the last digits
            value = static_cast<double>(mantissa(random) % 10000) / 100.0 * 3.0 + 0.1;
            break;
        case 3:
            value = static_cast<double>(mantissa(random)) * std::pow(10.0, exponent(random) - 10);
            break;
        default:  // sixteen integer digits, where the last digit is the units
            value = static_cast<double>(mantissa(random) % 9000000000000000 + 1000000000000000) +
                    static_cast<double>(random() % 4) * 0.25;
            break;
        }
        if (i % 7 == 0) value = -value;
        const std::string expected_double = reference_text(value, 16, 'D', 15, -17);
        ASSERT_EQ(std::string(out, static_cast<size_t>(number_format_double(value, out))), expected_double) << value;
        const auto single = static_cast<float>(value);
        if (std::isfinite(single)) {
            const std::string expected_single = reference_text(static_cast<double>(single), 7, 'E', 6, -8);
            ASSERT_EQ(std::string(out, static_cast<size_t>(number_format_single(single, out))), expected_single)
                << single;
        }
    }
}

// ---------------------------------------------------------------- VAL

struct ParseCase {
    std::string text;
    long double value;
};

TEST_F(NumberTextTest, ParseTable) {
    const ParseCase cases[] = {
        {" 1 2 3", 123},
        {"12abc", 12},
        {"abc", 0},
        {"1.5E3", 1500},
        {"1D2", 100},
        {"&H1F", 31},
        {"&O17", 15},
        {"&H", 0},
        {"-0.05", -0.05L},
        {"", 0},
        {"+5", 5},
        {"--5", 0},
        {"1.2.3", 1.2L},
        {"1e+2", 100},
        {"1e2e3", 100},
        {"5d-1", 0.5L},
        {"1E", 1},
        {"  -  1  .  5", -1.5L},
        {"\t7", 7},
        {".5", 0.5L},
        {"0.000", 0},
        {"007", 7},
        {"12.", 12},
        {"12.50", 12.5L},
        {"3-4", 3},
        {"9223372036854775807", 9223372036854775807.0L},
        {"-9223372036854775808", -9223372036854775808.0L},
        {"12345678901234567890", 12345678901234567890.0L},
        {"1E0000000000000000000002", 100},
        {"&h1f", 31},
        {"&o777", 511},
        {"&H 1 F", 31},
        {"&HFFFFFFFFFFFFFFFF", -1},
        {"&H00000000000000000001", 1},
        {"&O1777777777777777777777", -1},
        {"&O18", 1},
        {"&X1", 0},
        {"&", 0},
        {"&1", 0},
        {"&HG", 0},
        {std::string("1\0002", 3), 1},
    };
    for (const ParseCase& c : cases) {
        BasicString* s = literal_bytes(c.text);
        EXPECT_EQ(number_parse(s), c.value) << '"' << c.text << '"';
        EXPECT_EQ(error_state.error_number, 0u) << c.text;
    }
}

TEST_F(NumberTextTest, ParseKeepsTheRoundingOfLongDecimals) {
    EXPECT_EQ(number_parse(literal("0.1")), std::strtold("0.1", nullptr));
    EXPECT_EQ(number_parse(literal("3.14159265358979323846")), std::strtold("3.14159265358979323846", nullptr));
    const std::string many = "1." + std::string(400, '3');
    EXPECT_EQ(number_parse(literal_bytes(many)), std::strtold(many.substr(0, 256).c_str(), nullptr));
    // Digits past the kept ones still scale the value.
    EXPECT_EQ(number_parse(literal_bytes(std::string(300, '1'))), std::strtold(std::string(300, '1').c_str(), nullptr));
}

TEST_F(NumberTextTest, ParseAgreesWithTheLongDoubleParserOnRandomDecimals) {
    std::mt19937 random(99);
    auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    for (int i = 0; i < 20000; ++i) {
        std::string text;
        if (pick(0, 3) == 0) text += pick(0, 1) ? '-' : '+';
        for (int n = pick(0, 22); n > 0; --n) text += static_cast<char>('0' + pick(0, 9));
        if (pick(0, 1)) {
            text += '.';
            for (int n = pick(0, 22); n > 0; --n) text += static_cast<char>('0' + pick(pick(0, 1) ? 0 : 1, 9));
        }
        if (pick(0, 2) == 0) {
            text += 'E';
            if (pick(0, 1)) text += '-';
            text += std::to_string(pick(0, 400));
        }
        const long double expected = std::strtold(text.c_str(), nullptr);
        ASSERT_EQ(number_parse(literal_bytes(text)), expected) << text;
        string_release_temporaries(mark_, 0);
    }
}

TEST_F(NumberTextTest, BasedNumbersTooLongForSixtyFourBitsOverflow) {
    const char* too_long[] = {"&H10000000000000000", "&O2000000000000000000000", "&O11111111111111111111111"};
    for (const char* text : too_long) {
        error_state.error_number = 0;
        EXPECT_EQ(number_parse(literal(text)), 0) << text;
        EXPECT_EQ(error_state.error_number, 6u) << text;
    }
}

TEST_F(NumberTextTest, ParseReadsBackWhatStrPrints) {
    const double values[] = {0.1, -2.5, 1.0 / 3.0, 1e-20, 1.5e300, 435.0, 12345678901234567.0};
    for (double v : values) {
        BasicString* text = number_text_double(v);
        std::string s = text_of(text);
        for (char& c : s) {
            if (c == 'D') c = 'E';
        }
        EXPECT_NEAR(static_cast<double>(number_parse(text)), std::strtod(s.c_str(), nullptr), std::fabs(v) * 1e-15) << s;
    }
}

}  // namespace
