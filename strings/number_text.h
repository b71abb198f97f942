// Number-text conversion: STR$ for every numeric type and VAL (number_parse).
#pragma once

#include <cstdint>

struct BasicString;

// Each returns a new temporary string: a leading space for values that are not
// negative (a "-" otherwise), no trailing zeros, no zero before the point.
BasicString* number_text_int8(int8_t value);
BasicString* number_text_int16(int16_t value);
BasicString* number_text_int32(int32_t value);
BasicString* number_text_int64(int64_t value);
BasicString* number_text_uint8(uint8_t value);
BasicString* number_text_uint16(uint16_t value);
BasicString* number_text_uint32(uint32_t value);
BasicString* number_text_uint64(uint64_t value);
// SINGLE: up to 7 significant digits, exponent marked "E".
BasicString* number_text_single(float value);
// DOUBLE: up to 16 significant digits, exponent marked "D".
BasicString* number_text_double(double value);
// Extended precision is rounded to DOUBLE first.
BasicString* number_text_extended(long double value);

// VAL: reads a decimal, &H or &O number from the start of the text (spaces and tabs
// ignored). Ill-formed text gives what was read so far, or 0. Does not free s.
long double number_parse(const BasicString* s);

// The same conversions into a caller's buffer, for callers that need no string
// (PRINT of numbers, PRINT # and the like). Return the number of characters written;
// the buffer needs room for 32 characters. No terminator is written.
int32_t number_format_single(float value, char* out);
int32_t number_format_double(double value, char* out);
// VAL over plain bytes.
long double number_parse_bytes(const uint8_t* text, int32_t length);
