// Numbers and time: RND and RANDOMIZE, the TIMER clock, the loop-rate limiter, INT and
// the rules by which floating-point values become integers.
#pragma once

#include <cstdint>

// ---------------------------------------------------------------------------------------
// Random numbers
// ---------------------------------------------------------------------------------------

// 24-bit generator state held in a 32-bit word; 0x50000 when the program starts.
inline constexpr uint32_t kRandomStartState = 0x50000;
inline constexpr uint32_t kRandomMultiplier = 0xFD43FD;   // 16,598,013
inline constexpr uint32_t kRandomIncrement = 0xC39EC3;    // 12,820,163
inline constexpr uint32_t kRandomMask = 0xFFFFFF;
extern uint32_t random_state;

// RND / RND(x): a SINGLE in [0, 1). given = 0 means no argument (acts like x = 1);
// x = 0 repeats the last number, x < 0 reseeds from x's bit pattern first.
float random_next(float x, int32_t given);

// RANDOMIZE: modes 1 (RANDOMIZE n) and 3 (RANDOMIZE USING n) seed from value; any other
// mode prompts for a seed on the screen and reads one INTEGER with INPUT.
inline constexpr int32_t kRandomSeedValue = 1;
inline constexpr int32_t kRandomSeedUsing = 3;
inline constexpr int32_t kRandomSeedPrompt = 0;
void random_seed(double value, int32_t mode);

// The seed step shared by every RANDOMIZE form: the low byte of the state survives and
// the 16-bit seed goes above it.
void random_seed_bits(uint16_t seed);

// ---------------------------------------------------------------------------------------
// TIMER and the loop-rate limiter
// ---------------------------------------------------------------------------------------

extern uint32_t timer_origin_ticks;  // millisecond tick count taken at calibration
extern uint32_t timer_origin_ms;     // milliseconds since local midnight at calibration
extern double rate_limit_last;       // tick of the limiter's last pass, 0 before the first

// The millisecond tick counter TIMER and the limiter read (milliseconds since the
// process started); replaceable so tests can move time.
extern uint32_t (*timer_tick_source)();
uint32_t timer_ticks_ms();

// Once at start-up, before the program thread runs: ties the tick counter to the time
// of day, just after a second boundary.
void timer_calibrate();

// TIMER / TIMER(accuracy): seconds since midnight in steps of 1/18.2 s (SINGLE precision)
// or of the given accuracy in seconds (DOUBLE). An accuracy of 0 or less is error 5.
double timer_seconds(double accuracy, int32_t given);

// Keeps a loop to at most rate_per_second passes per second by sleeping.
void timer_limit_rate(double rate_per_second);

// ---------------------------------------------------------------------------------------
// Conversions (round to nearest, ties to even; no overflow error)
// ---------------------------------------------------------------------------------------

// Values outside the 32-bit range give -2,147,483,648 (the processor's integer
// indefinite); NaN does too.
int32_t number_to_int32_single(float value);
int32_t number_to_int32_double(double value);
// Extended values to 64 bits; outside the range (or NaN) gives INT64_MIN.
int64_t number_to_int64(long double value);

// Assignment to an INTEGER: the low 16 bits of the 32-bit conversion.
int16_t number_to_int16_single(float value);
int16_t number_to_int16_double(double value);

// INT(x): the floor of x, then the 32-bit conversion.
int32_t number_int(double value);
// INT(x) for extended values into 64 bits.
int64_t number_int64(long double value);
