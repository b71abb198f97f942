// Float-to-integer conversion on assignment (round half to even, no overflow error) and INT.
#include <cmath>
#include <cstdint>
#include <limits>

#include "numbers/numbers.h"

namespace {

// The processor stores its "integer indefinite" value for anything it cannot represent.
constexpr int32_t kInt32Indefinite = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt64Indefinite = std::numeric_limits<int64_t>::min();

int32_t number_round_to_int32(double value) {
    const double rounded = std::nearbyint(value);  // current rounding: nearest, ties to even
    if (!(rounded >= -2147483648.0 && rounded <= 2147483647.0)) return kInt32Indefinite;
    return static_cast<int32_t>(rounded);
}

}  // namespace

int32_t number_to_int32_single(float value) { return number_round_to_int32(static_cast<double>(value)); }

int32_t number_to_int32_double(double value) { return number_round_to_int32(value); }

int64_t number_to_int64(long double value) {
    const long double rounded = std::nearbyint(value);
    if (!(rounded >= -9223372036854775808.0L && rounded < 9223372036854775808.0L)) return kInt64Indefinite;
    return static_cast<int64_t>(rounded);
}

// Narrowing to 16 bits keeps the low bits (two's complement).
int16_t number_to_int16_single(float value) { return static_cast<int16_t>(number_to_int32_single(value)); }

int16_t number_to_int16_double(double value) { return static_cast<int16_t>(number_to_int32_double(value)); }

int32_t number_int(double value) { return number_to_int32_double(std::floor(value)); }

int64_t number_int64(long double value) { return number_to_int64(std::floor(value)); }
