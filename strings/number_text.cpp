// STR$ for every numeric type and VAL: BASIC's fixed number style in both directions.
#include "strings/number_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "errors/errors.h"
#include "strings/strings.h"

namespace {

constexpr int32_t kSingleRoom = 16;
constexpr int32_t kDoubleRoom = 32;
constexpr int32_t kMaxParsedDigits = 255;  // significant digits kept by VAL; later ones only scale

// A value rounded to a fixed number of significant decimal digits.
struct DecimalDigits {
    char digits[24];   // significant digits, most significant first, padded with '0'
    int32_t exponent;  // decimal exponent of the first digit
    bool negative;
};

// Rounds value to `precision` + 1 significant digits (correctly rounded, ties to even,
// the same digits printf's "%.<precision>E" gives).
void decimal_round(double value, int precision, DecimalDigits& out) {
    char buffer[48];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::scientific, precision);
    const char* p = buffer;
    out.negative = *p == '-';
    if (out.negative) ++p;
    out.digits[0] = *p++;
    if (*p == '.') ++p;
    int32_t n = 1;
    while (*p >= '0' && *p <= '9') out.digits[n++] = *p++;
    ++p;  // 'e'
    const bool exponent_negative = *p == '-';
    ++p;
    int32_t exponent = 0;
    while (p < result.ptr) exponent = exponent * 10 + (*p++ - '0');
    out.exponent = exponent_negative ? -exponent : exponent;
}

char* put_exponent(char* out, char mark, int32_t exponent) {
    *out++ = mark;
    *out++ = exponent < 0 ? '-' : '+';
    const int32_t magnitude = exponent < 0 ? -exponent : exponent;
    if (magnitude > 99) *out++ = static_cast<char>('0' + magnitude / 100);
    *out++ = static_cast<char>('0' + magnitude / 10 % 10);
    *out++ = static_cast<char>('0' + magnitude % 10);
    return out;
}

// Lays out the significant digits (up to digit_slots, trailing zeros dropped) in fixed or
// exponent notation. Fixed notation is used while the exponent stays within
// max_fixed_exponent and the exponent minus the digit count stays at or above
// min_exponent_minus_count (so a small value does not trail a long run of zeros).
int32_t decimal_layout(const DecimalDigits& d, int32_t digit_slots, int32_t max_fixed_exponent,
                       int32_t min_exponent_minus_count, char mark, char* out) {
    int32_t count = digit_slots;
    while (count > 0 && d.digits[count - 1] == '0') --count;
    char* p = out;
    if (count == 0) {
        *p++ = ' ';
        *p++ = '0';
        return 2;
    }
    *p++ = d.negative ? '-' : ' ';
    const int32_t e = d.exponent;
    if (e <= max_fixed_exponent && e - count >= min_exponent_minus_count) {
        if (e >= 0) {
            // The digits past `count` are zeros, which the integer part may need.
            std::memcpy(p, d.digits, static_cast<size_t>(e) + 1);
            p += e + 1;
            if (count > e + 1) {
                *p++ = '.';
                std::memcpy(p, d.digits + e + 1, static_cast<size_t>(count - e - 1));
                p += count - e - 1;
            }
        } else {
            *p++ = '.';
            for (int32_t i = 0; i < -e - 1; ++i) *p++ = '0';
            std::memcpy(p, d.digits, static_cast<size_t>(count));
            p += count;
        }
        return static_cast<int32_t>(p - out);
    }
    *p++ = d.digits[0];
    if (count > 1) {
        *p++ = '.';
        std::memcpy(p, d.digits + 1, static_cast<size_t>(count - 1));
        p += count - 1;
    }
    p = put_exponent(p, mark, e);
    return static_cast<int32_t>(p - out);
}

// Infinities and NaNs have no digits to lay out; they keep the sign position.
bool format_special(double value, char* out, int32_t& length) {
    if (std::isfinite(value)) return false;
    out[0] = std::signbit(value) ? '-' : ' ';
    std::memcpy(out + 1, std::isnan(value) ? "NAN" : "INF", 3);
    length = 4;
    return true;
}

BasicString* text_temporary(const char* text, int32_t length, int32_t room) {
    BasicString* s = string_new(room, true);
    std::memcpy(s->text, text, static_cast<size_t>(length));
    s->length = length;
    return s;
}

template <typename Integer>
BasicString* integer_text(Integer value, int32_t room) {
    char buffer[24];
    char* p = buffer;
    if (value >= 0) *p++ = ' ';
    const auto result = std::to_chars(p, buffer + sizeof buffer, value);
    return text_temporary(buffer, static_cast<int32_t>(result.ptr - buffer), room);
}

bool is_blank(uint8_t c) { return c == ' ' || c == '\t'; }

// &H and &O numbers: the 64-bit two's-complement value of the digits.
long double parse_based(const uint8_t* text, int32_t length, int32_t position) {
    if (length - position < 3) return 0;  // "&" needs two more characters
    ++position;
    while (position < length && is_blank(text[position])) ++position;
    if (position >= length) return 0;
    const uint8_t base_letter = text[position++];
    int shift;
    if (base_letter == 'H' || base_letter == 'h') {
        shift = 4;
    } else if (base_letter == 'O' || base_letter == 'o') {
        shift = 3;
    } else {
        return 0;
    }
    uint64_t value = 0;
    int32_t significant = 0;
    int32_t first_digit = 0;
    for (; position < length; ++position) {
        const uint8_t c = text[position];
        if (is_blank(c)) continue;
        int32_t digit;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (shift == 4 && c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else if (shift == 4 && c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else {
            break;
        }
        if (shift == 3 && digit > 7) break;
        if (significant == 0 && digit == 0) continue;
        if (significant == 0) first_digit = digit;
        ++significant;
        const bool too_long = shift == 4 ? significant > 16 : (significant > 22 || (significant == 22 && first_digit > 1));
        if (too_long) {
            error_raise(kErrorOverflow);
            return 0;
        }
        value = (value << shift) | static_cast<uint64_t>(digit);
    }
    return static_cast<long double>(static_cast<int64_t>(value));
}

enum class ParseState { sign, integer, fraction, exponent_sign, exponent };

}  // namespace

// ---------------------------------------------------------------- numbers to text

int32_t number_format_single(float value, char* out) {
    int32_t length;
    if (format_special(value, out, length)) return length;
    DecimalDigits d;
    decimal_round(static_cast<double>(value), 6, d);
    return decimal_layout(d, 7, 6, -8, 'E', out);
}

int32_t number_format_double(double value, char* out) {
    int32_t length;
    if (format_special(value, out, length)) return length;
    DecimalDigits d;
    decimal_round(value, 15, d);
    if (d.digits[15] == '9') {
        // A 16th digit of 9 is usually binary noise (434.99999999999994 for 4.35 * 100):
        // round to 15 digits instead.
        DecimalDigits shorter;
        decimal_round(value, 14, shorter);
        if (shorter.exponent == 15) {
            // Sixteen integer digits print whole, rounded to units: that is the
            // 16-digit rounding itself.
            out[0] = d.negative ? '-' : ' ';
            std::memcpy(out + 1, d.digits, 16);
            return 17;
        }
        d = shorter;
        d.digits[15] = '0';
    }
    return decimal_layout(d, 16, 15, -17, 'D', out);
}

BasicString* number_text_int8(int8_t value) { return integer_text(static_cast<int32_t>(value), 4); }
BasicString* number_text_int16(int16_t value) { return integer_text(static_cast<int32_t>(value), 6); }
BasicString* number_text_int32(int32_t value) { return integer_text(value, 11); }
BasicString* number_text_int64(int64_t value) { return integer_text(value, 20); }
BasicString* number_text_uint8(uint8_t value) { return integer_text(static_cast<uint32_t>(value), 4); }
BasicString* number_text_uint16(uint16_t value) { return integer_text(static_cast<uint32_t>(value), 6); }
BasicString* number_text_uint32(uint32_t value) { return integer_text(value, 11); }
BasicString* number_text_uint64(uint64_t value) { return integer_text(value, 21); }

BasicString* number_text_single(float value) {
    char buffer[kSingleRoom];
    return text_temporary(buffer, number_format_single(value, buffer), kSingleRoom);
}

BasicString* number_text_double(double value) {
    char buffer[kDoubleRoom];
    return text_temporary(buffer, number_format_double(value, buffer), kDoubleRoom);
}

BasicString* number_text_extended(long double value) { return number_text_double(static_cast<double>(value)); }

// ---------------------------------------------------------------- text to numbers

long double number_parse_bytes(const uint8_t* text, int32_t length) {
    if (text == nullptr || length <= 0) return 0;
    int32_t position = 0;
    while (position < length && is_blank(text[position])) ++position;
    if (position < length && text[position] == '&') return parse_based(text, length, position);

    char digits[kMaxParsedDigits + 1];
    int32_t digit_count = 0;
    int64_t integer_digits = 0;       // position of the point relative to the first significant digit
    uint64_t integer_value = 0;       // the integer part, exactly while it has at most 19 digits
    bool negative = false;
    bool fraction_significant = false;
    bool exponent_seen = false;
    bool exponent_negative = false;
    int64_t exponent = 0;
    int32_t exponent_digits = 0;
    ParseState state = ParseState::sign;

    for (; position < length; ++position) {
        const uint8_t c = text[position];
        if (is_blank(c)) continue;
        const bool digit = c >= '0' && c <= '9';
        if (state == ParseState::sign && (c == '-' || c == '+')) {
            negative = c == '-';
            state = ParseState::integer;
        } else if ((state == ParseState::sign || state == ParseState::integer) && digit) {
            state = ParseState::integer;
            if (digit_count == 0 && c == '0') continue;
            if (digit_count < kMaxParsedDigits) digits[digit_count++] = static_cast<char>(c);
            ++integer_digits;
            integer_value = integer_value * 10 + static_cast<uint64_t>(c - '0');
        } else if ((state == ParseState::sign || state == ParseState::integer) && c == '.') {
            state = ParseState::fraction;
        } else if (state == ParseState::fraction && digit) {
            if (digit_count == 0 && c == '0') {
                --integer_digits;
                continue;
            }
            if (c != '0') fraction_significant = true;
            if (digit_count < kMaxParsedDigits) digits[digit_count++] = static_cast<char>(c);
        } else if ((state == ParseState::integer || state == ParseState::fraction || state == ParseState::sign) &&
                   (c == 'E' || c == 'e' || c == 'D' || c == 'd')) {
            exponent_seen = true;
            state = ParseState::exponent_sign;
        } else if (state == ParseState::exponent_sign && (c == '-' || c == '+')) {
            exponent_negative = c == '-';
            state = ParseState::exponent;
        } else if ((state == ParseState::exponent_sign || state == ParseState::exponent) && digit) {
            state = ParseState::exponent;
            if (exponent_digits == 0 && c == '0') continue;
            if (exponent_digits == 18) break;
            ++exponent_digits;
            exponent = exponent * 10 + (c - '0');
        } else {
            break;
        }
    }

    if (digit_count == 0) return 0;
    // Integers that fit 64 bits come back exactly; longer ones take the decimal path.
    if (!exponent_seen && !fraction_significant && integer_digits <= 19 &&
        integer_value <= static_cast<uint64_t>(INT64_MAX)) {
        const auto magnitude = static_cast<long double>(integer_value);
        return negative ? -magnitude : magnitude;
    }

    char buffer[kMaxParsedDigits + 48];
    char* p = buffer;
    if (negative) *p++ = '-';
    *p++ = digits[0];
    *p++ = '.';
    std::memcpy(p, digits + 1, static_cast<size_t>(digit_count - 1));
    p += digit_count - 1;
    const int64_t decimal_exponent = integer_digits + (exponent_negative ? -exponent : exponent) - 1;
    *p++ = 'E';
    const auto result = std::to_chars(p, buffer + sizeof buffer - 1, decimal_exponent);
    *result.ptr = '\0';
    return std::strtold(buffer, nullptr);
}

long double number_parse(const BasicString* s) {
    if (s == nullptr) return 0;
    return number_parse_bytes(s->text, s->length);
}
