// INPUT field checks: radix literals and the per-type validation that decides whether a
// field may stand and stores its value into the target.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "keyboard/keyboard.h"
#include "strings/strings.h"

uint64_t input_radix_value = 0;

namespace {

bool is_digit(uint8_t c) { return c >= '0' && c <= '9'; }

int hex_digit(uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

uint32_t type_size(uint32_t w) { return w & kInputTypeSizeMask; }
bool stores_numbers(uint32_t w) { return (w & kInputTypeNoStore) == 0; }

void store_bytes(void* target, const void* value, size_t bytes) {
    if (target != nullptr) std::memcpy(target, value, bytes);
}

// Extended floats occupy the ten bytes of the 80-bit format.
constexpr size_t kExtendedBytes = 10;

void store_float(const InputTarget& target, long double value) {
    if (!stores_numbers(target.type_word)) return;
    switch (type_size(target.type_word)) {
    case 32: {
        float f = static_cast<float>(value);
        store_bytes(target.target, &f, sizeof f);
        break;
    }
    case 64: {
        double d = static_cast<double>(value);
        store_bytes(target.target, &d, sizeof d);
        break;
    }
    case 256:
        store_bytes(target.target, &value, kExtendedBytes);
        break;
    default:
        break;
    }
}

void store_integer(const InputTarget& target, uint64_t bits) {
    if (!stores_numbers(target.type_word)) return;
    uint32_t size = type_size(target.type_word);
    if (size == 8 || size == 16 || size == 32 || size == 64) {
        store_bytes(target.target, &bits, size / 8);  // little-endian: the low bytes
    }
}

bool validate_string(const uint8_t* t, int32_t n, const InputTarget& target) {
    auto* destination = static_cast<BasicString*>(target.target);
    if (destination == nullptr) return true;
    if (destination->is_external && n > destination->length) return false;
    BasicString* field = string_new(n, true);
    if (n > 0) std::memcpy(field->text, t, static_cast<size_t>(n));
    string_assign(destination, field);
    return true;
}

// Digits of the largest value of a size in hexadecimal and octal.
int32_t hex_digits_of(uint32_t size) { return static_cast<int32_t>((size + 3) / 4); }
int32_t octal_digits_of(uint32_t size) { return static_cast<int32_t>((size + 2) / 3); }

// How a decimal integer field starts: an optional minus (refused for unsigned targets)
// and no leading zero before further digits.
enum class IntegerStart : uint8_t { refused, lone_minus, digits };

IntegerStart integer_start(const uint8_t* t, int32_t n, bool is_unsigned, int32_t& first, bool& negative) {
    first = 0;
    negative = false;
    if (t[0] == '-') {
        if (is_unsigned) return IntegerStart::refused;
        negative = true;
        first = 1;
        if (n == 1) return IntegerStart::lone_minus;
    }
    if (t[first] == '0' && n > first + 1) return IntegerStart::refused;
    return IntegerStart::digits;
}

bool validate_small_integer(const uint8_t* t, int32_t n, const InputTarget& target) {
    uint32_t w = target.type_word;
    uint32_t size = type_size(w);
    if (size != 8 && size != 16 && size != 32) return n == 0;
    uint64_t max = (uint64_t{1} << size) - 1;
    if (n == 0) {
        store_integer(target, 0);
        return true;
    }
    int32_t radix = input_parse_radix(t, n);
    if (radix != 0) {
        int32_t digits = radix == 1 ? hex_digits_of(size) : octal_digits_of(size);
        if (input_radix_value > max || n > 2 + digits) return false;
        store_integer(target, input_radix_value);
        return true;
    }
    bool is_unsigned = (w & kInputTypeUnsigned) != 0;
    int32_t i = 0;
    bool negative = false;
    switch (integer_start(t, n, is_unsigned, i, negative)) {
    case IntegerStart::refused: return false;
    case IntegerStart::lone_minus: store_integer(target, 0); return true;
    case IntegerStart::digits: break;
    }
    uint64_t limit = is_unsigned ? max : (negative ? (max + 1) / 2 : (max - 1) / 2);
    uint64_t magnitude = 0;
    for (; i < n; ++i) {
        if (!is_digit(t[i])) return false;
        magnitude = magnitude * 10 + (t[i] - '0');
        if (magnitude > limit) return false;  // a prefix never exceeds the whole number
    }
    uint64_t bits = negative ? uint64_t{0} - magnitude : magnitude;
    store_integer(target, bits);
    return true;
}

bool validate_large_integer(const uint8_t* t, int32_t n, const InputTarget& target) {
    uint32_t w = target.type_word;
    if (n == 0) {
        store_integer(target, 0);
        return true;
    }
    if (input_parse_radix(t, n) != 0) {
        store_integer(target, input_radix_value);
        return true;
    }
    bool is_unsigned = (w & kInputTypeUnsigned) != 0;
    int32_t i = 0;
    bool negative = false;
    switch (integer_start(t, n, is_unsigned, i, negative)) {
    case IntegerStart::refused: return false;
    case IntegerStart::lone_minus: store_integer(target, 0); return true;
    case IntegerStart::digits: break;
    }
    for (int32_t j = i; j < n; ++j) {
        if (!is_digit(t[j])) return false;
    }
    const char* limit = is_unsigned ? "18446744073709551615"
                                    : (negative ? "9223372036854775808" : "9223372036854775807");
    int32_t limit_length = static_cast<int32_t>(std::strlen(limit));
    int32_t digits = n - i;
    if (digits > limit_length) return false;
    if (digits == limit_length) {
        for (int32_t j = 0; j < digits; ++j) {
            if (t[i + j] != limit[j]) {
                if (t[i + j] > limit[j]) return false;
                break;
            }
        }
    }
    char text[32];
    std::memcpy(text, t, static_cast<size_t>(n));
    text[n] = 0;
    uint64_t bits = is_unsigned ? std::strtoull(text, nullptr, 10)
                                : static_cast<uint64_t>(std::strtoll(text, nullptr, 10));
    store_integer(target, bits);
    return true;
}

struct FloatLimits {
    int32_t max_leading_zeros;   // more zeros after the point than this cannot be shown
    int32_t upper_exponent;
    const char* upper_digits;
    int32_t significant_digits;
    int32_t lower_exponent;
    const char* lower_digits;
};
constexpr FloatLimits kSingleLimits{43, 39, "3402823", 8, -44, "1401298"};
constexpr FloatLimits kDoubleLimits{322, 309, "17976931", 16, -323, "4940656"};

// Sign of the first difference between the significant digits and a limit's digits,
// over at most the limit's length; 0 when none differs.
int compare_significant(const char* significant, int32_t count, const char* limit) {
    int32_t limit_length = static_cast<int32_t>(std::strlen(limit));
    for (int32_t j = 0; j < count && j < limit_length; ++j) {
        if (significant[j] != limit[j]) return significant[j] > limit[j] ? 1 : -1;
    }
    return 0;
}

bool validate_float(const uint8_t* source, int32_t n, const InputTarget& target) {
    uint32_t size = type_size(target.type_word);
    bool single = size == 32;
    if (n == 0) {
        store_float(target, 0);
        return true;
    }
    if (input_parse_radix(source, n) != 0) {
        store_float(target, static_cast<long double>(input_radix_value));
        return true;
    }
    // The field may be rewritten (D exponent to E) for the conversion.
    char t[260];
    if (n > 256) return false;
    std::memcpy(t, source, static_cast<size_t>(n));
    t[n] = 0;
    auto is_exponent_letter = [single](char c) {
        return c == 'E' || c == 'e' || (!single && (c == 'D' || c == 'd'));
    };
    int32_t i = 0;
    if (t[0] == '-') {
        i = 1;
        if (n == 1) {
            store_float(target, 0);
            return true;
        }
    }
    int32_t integer_digits = 0, fraction_digits = 0, fraction_zeros = 0;
    int64_t exponent = 0;
    char significant[260];
    int32_t significant_count = 0;
    bool exponent_follows = false;

    if (t[i] == '0') {
        ++i;
        if (i == n) {
            store_float(target, 0);
            return true;
        }
        if (t[i] != '.') return false;
    } else {
        if (is_exponent_letter(t[i])) return false;
        while (i < n && is_digit(static_cast<uint8_t>(t[i]))) {
            significant[significant_count++] = t[i];
            ++integer_digits;
            ++i;
        }
        if (i < n) {
            if (is_exponent_letter(t[i])) {
                exponent_follows = true;
            } else if (t[i] != '.') {
                return false;
            }
        }
    }
    if (i < n && t[i] == '.') {
        ++i;
        if (i < n && is_exponent_letter(t[i])) return false;
        bool nonzero_seen = false;
        while (i < n && is_digit(static_cast<uint8_t>(t[i]))) {
            ++fraction_digits;
            if (t[i] != '0') nonzero_seen = true;
            if (!nonzero_seen) ++fraction_zeros;
            if (nonzero_seen || significant_count > 0) significant[significant_count++] = t[i];
            ++i;
        }
        if (i < n) {
            if (!is_exponent_letter(t[i])) return false;
            if (significant_count == 0) return false;  // as in 0.0E5
            exponent_follows = true;
        }
    }
    if (exponent_follows) {
        if (t[i] == 'D' || t[i] == 'd') {
            if (single) return false;
            t[i] = 'E';
        }
        ++i;
        bool negative_exponent = false;
        if (i < n && (t[i] == '-' || t[i] == '+')) {
            negative_exponent = t[i] == '-';
            ++i;
        }
        if (i < n && t[i] == '0' && i + 1 < n) return false;
        for (; i < n; ++i) {
            if (!is_digit(static_cast<uint8_t>(t[i]))) return false;
            if (exponent < 100000) exponent = exponent * 10 + (t[i] - '0');
        }
        if (negative_exponent) exponent = -exponent;
    }

    if (size == 32 || size == 64) {
        const FloatLimits& limits = single ? kSingleLimits : kDoubleLimits;
        if (fraction_digits == 1 && fraction_zeros == 1) fraction_digits = fraction_zeros = 0;
        if (fraction_zeros > limits.max_leading_zeros) return false;
        if (integer_digits > 0 || fraction_digits != fraction_zeros) {
            int64_t position = integer_digits > 0 ? integer_digits : -fraction_zeros;
            int64_t decimal_exponent = exponent + position;
            if (decimal_exponent > limits.upper_exponent) return false;
            if (decimal_exponent == limits.upper_exponent &&
                compare_significant(significant, significant_count, limits.upper_digits) > 0) {
                return false;
            }
            if (fraction_digits > 0) {
                if (integer_digits > 0 && integer_digits + fraction_digits > limits.significant_digits)
                    return false;
                if (integer_digits == 0 && fraction_digits - fraction_zeros > limits.significant_digits)
                    return false;
            }
            if (decimal_exponent < limits.lower_exponent) return false;
            if (decimal_exponent == limits.lower_exponent &&
                compare_significant(significant, significant_count, limits.lower_digits) < 0) {
                return false;
            }
        }
    }
    long double value = 0;
    if (single) {
        value = std::strtof(t, nullptr);
    } else if (size == 64) {
        value = std::strtod(t, nullptr);
    } else {
        // The 80-bit target holds far more than a double; read it at its own precision.
        value = std::strtold(t, nullptr);
    }
    // The digit rules above let a few texts just past the largest value through (such as
    // 3.4028239E38); they would round to infinity, so they are refused like any other
    // out-of-range text.
    if (!std::isfinite(value)) return false;
    store_float(target, value);
    return true;
}

}  // namespace

int32_t input_parse_radix(const uint8_t* t, int32_t n) {
    input_radix_value = 0;
    if (n == 0) return 1;
    if (t[0] != '&') return 0;
    if (n == 1) return 1;
    int32_t result;
    if (t[1] == 'H' || t[1] == 'h') {
        result = 1;
    } else if (t[1] == 'O' || t[1] == 'o') {
        result = 2;
    } else {
        return 0;
    }
    if (n == 2) return result;
    uint64_t value = 0;
    if (result == 1) {
        if (n > 18) return 0;
        for (int32_t i = 2; i < n; ++i) {
            int digit = hex_digit(t[i]);
            if (digit < 0) return 0;
            value = value * 16 + static_cast<uint64_t>(digit);
        }
    } else {
        if (n > 24 || (n == 24 && t[2] != '0' && t[2] != '1')) return 0;
        for (int32_t i = 2; i < n; ++i) {
            if (t[i] < '0' || t[i] > '7') return 0;
            value = value * 8 + static_cast<uint64_t>(t[i] - '0');
        }
    }
    input_radix_value = value;
    return result;
}

bool input_validate_field(const uint8_t* text, int32_t length, const InputTarget& target) {
    uint32_t w = target.type_word;
    if (w & kInputTypeString) return validate_string(text, length, target);
    if (w & kInputTypeFloat) return validate_float(text, length, target);
    if (type_size(w) == 64) return validate_large_integer(text, length, target);
    return validate_small_integer(text, length, target);
}
