// Tests of RND, RANDOMIZE, TIMER, the rate limiter and the float-to-integer conversions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "errors/errors.h"
#include "numbers/numbers.h"

namespace {

float state_value(uint32_t state) { return static_cast<float>(state) / 16777216.0f; }

class NumbersTest : public ::testing::Test {
protected:
    void SetUp() override {
        error_state.error_number = 0;
        random_state = kRandomStartState;
    }
    void TearDown() override { error_state.error_number = 0; }
};

// ---------------------------------------------------------------------------------------
// RND and RANDOMIZE
// ---------------------------------------------------------------------------------------

TEST_F(NumbersTest, FirstNumbersOfARunFollowTheGenerator) {
    // Worked out by hand from state 0x50000, multiplier 0xFD43FD and increment 0xC39EC3.
    constexpr uint32_t kStates[] = {11837123, 8949370, 9722709, 4858052, 5065847};
    for (uint32_t state : kStates) EXPECT_EQ(random_next(0.0f, 0), state_value(state));
    random_state = kRandomStartState;
    EXPECT_FLOAT_EQ(random_next(1.0f, 1), 0.7055475f);
}

TEST_F(NumbersTest, ZeroArgumentRepeatsAndPositiveArgumentSteps) {
    const float first = random_next(0.0f, 0);
    EXPECT_EQ(random_next(0.0f, 1), first);
    EXPECT_EQ(random_next(0.0f, 1), first);
    EXPECT_EQ(random_next(7.5f, 1), state_value(8949370));
}

TEST_F(NumbersTest, NegativeArgumentReseedsFromItsBitPattern) {
    struct Case { float x; uint32_t state; };
    constexpr Case kCases[] = {{-1.0f, 3758214}, {-2.0f, 11967619}, {-0.5f, 12146822}, {-12345.0f, 7571569}};
    for (const Case& c : kCases) {
        random_next(0.0f, 0);  // whatever came before does not matter
        random_next(0.0f, 0);
        EXPECT_EQ(random_next(c.x, 1), state_value(c.state)) << c.x;
        EXPECT_EQ(random_next(c.x, 1), state_value(c.state)) << c.x;
    }
}

TEST_F(NumbersTest, RandomizeWithValueSeedsFromUpperBitsAndKeepsLowByte) {
    struct Case { double value; uint32_t seeded; uint32_t first; uint32_t second; };
    constexpr Case kCases[] = {
        {1.0, 0x3FF000, 12832451, 1769082},
        {0.0, 0x000000, 12820163, 6000250},
        {-1.0, 0xBFF000, 4443843, 10157690},
        {12345.0, 0x5C4800, 13551299, 14292602},
    };
    for (const Case& c : kCases) {
        for (int32_t mode : {kRandomSeedValue, kRandomSeedUsing}) {
            random_state = kRandomStartState;
            random_seed(c.value, mode);
            EXPECT_EQ(random_state, c.seeded) << c.value;
            EXPECT_EQ(random_next(0.0f, 0), state_value(c.first));
            EXPECT_EQ(random_next(0.0f, 0), state_value(c.second));
        }
    }
    // The low byte of the old state survives a reseed.
    random_state = 0x1234AB;
    random_seed(1.0, kRandomSeedValue);
    EXPECT_EQ(random_state, 0x3FF0ABu);
}

TEST_F(NumbersTest, RandomizeIgnoresLowMantissaBits) {
    random_seed(1.0, kRandomSeedValue);
    const float a = random_next(0.0f, 0);
    random_state = kRandomStartState;
    random_seed(1.0000001, kRandomSeedValue);
    EXPECT_EQ(random_next(0.0f, 0), a);
}

TEST_F(NumbersTest, FullPeriodStaysInsideUnitIntervalAndDiceCoverOneToN) {
    // The generator has period 2^24, so this visits every state once.
    int counts[11] = {};
    float lowest = 1.0f;
    float highest = 0.0f;
    for (uint32_t i = 0; i < (1u << 24); ++i) {
        const float r = random_next(0.0f, 0);
        lowest = std::min(lowest, r);
        highest = std::max(highest, r);
        ++counts[number_int(r * 10.0) + 1 > 10 ? 0 : number_int(r * 10.0) + 1];
    }
    EXPECT_EQ(random_state, kRandomStartState);
    EXPECT_EQ(lowest, 0.0f);
    EXPECT_EQ(highest, 16777215.0f / 16777216.0f);
    EXPECT_EQ(counts[0], 0) << "INT(RND * 10) + 1 went above 10";
    for (int k = 1; k <= 10; ++k) EXPECT_GT(counts[k], 1600000) << k;
}

TEST_F(NumbersTest, PendingErrorLeavesGeneratorAlone) {
    error_state.error_number = 5;
    EXPECT_EQ(random_next(0.0f, 0), 0.0f);
    random_seed(1.0, kRandomSeedValue);
    EXPECT_EQ(random_state, kRandomStartState);
}

// ---------------------------------------------------------------------------------------
// TIMER and the rate limiter
// ---------------------------------------------------------------------------------------

uint32_t fake_ticks = 0;
uint32_t fake_tick_source() { return fake_ticks; }

class TimerTest : public NumbersTest {
protected:
    void SetUp() override {
        NumbersTest::SetUp();
        saved_source_ = timer_tick_source;
        timer_tick_source = fake_tick_source;
        rate_limit_last = 0.0;
    }
    void TearDown() override {
        timer_tick_source = saved_source_;
        NumbersTest::TearDown();
    }
    // Puts the clock at a time of day (milliseconds) with the tick counter at ticks.
    void at(uint32_t time_of_day_ms, uint32_t origin_ticks = 5000, uint32_t elapsed_ms = 0) {
        timer_origin_ticks = origin_ticks;
        timer_origin_ms = time_of_day_ms;
        fake_ticks = origin_ticks + elapsed_ms;
    }
    uint32_t (*saved_source_)() = nullptr;
};

TEST_F(TimerTest, DefaultTimerMovesInClassicClockTicks) {
    struct Case { uint32_t ms; double expected; };
    const Case kCases[] = {
        {0, 0.0},
        {27, 0.0},                                                         // below half a tick
        {28, static_cast<float>(1 / 18.2)},                                // rounds up to one tick
        {1000, static_cast<float>(18 / 18.2)},
        {3600000, static_cast<float>(std::nearbyint(3600 * 18.2) / 18.2)},
        {43200123, static_cast<float>(std::nearbyint(43200.123 * 18.2) / 18.2)},
    };
    for (const Case& c : kCases) {
        at(c.ms);
        EXPECT_EQ(timer_seconds(0, 0), c.expected) << c.ms;
    }
}

TEST_F(TimerTest, WrapsAtMidnightAndAcrossTickCounterOverflow) {
    at(86399990);  // 23:59:59.990
    const double before = timer_seconds(0, 0);
    EXPECT_NEAR(before, 86400.0, 0.06);
    at(86399990, 5000, 20);  // 00:00:00.010
    EXPECT_EQ(timer_seconds(0, 0), 0.0);
    EXPECT_EQ(timer_seconds(0.001, 1), 0.01);
    // The 32-bit tick counter wrapping keeps counting on.
    at(1000, 0xFFFFFF00u, 0x200);
    EXPECT_DOUBLE_EQ(timer_seconds(0.001, 1), 1.512);
}

TEST_F(TimerTest, AccuracyArgument) {
    at(12345678);
    EXPECT_DOUBLE_EQ(timer_seconds(0.001, 1), 12345.678);
    EXPECT_DOUBLE_EQ(timer_seconds(1.0, 1), 12346.0);
    EXPECT_DOUBLE_EQ(timer_seconds(0.5, 1), 12345.5);
    at(2500);
    EXPECT_DOUBLE_EQ(timer_seconds(1.0, 1), 2.0);  // ties go to even
    EXPECT_DOUBLE_EQ(timer_seconds(1e-30, 1), 2.5);  // finer than a 64-bit count: unrounded
    for (double bad : {0.0, -1.0, std::nan("")}) {
        error_state.error_number = 0;
        EXPECT_EQ(timer_seconds(bad, 1), 0.0);
        EXPECT_EQ(error_state.error_number, 5u) << bad;
    }
}

TEST_F(TimerTest, RateLimiterKeepsRhythmAndDropsBacklog) {
    at(0, 1000);
    timer_limit_rate(100);  // first pass only records the time
    EXPECT_EQ(rate_limit_last, 1000.0);
    timer_limit_rate(100);  // no time passed: sleeps about one period
    EXPECT_EQ(rate_limit_last, 1010.0);
    fake_ticks = 1022;  // a little late: keeps the rhythm
    timer_limit_rate(100);
    EXPECT_EQ(rate_limit_last, 1020.0);
    fake_ticks = 1200;  // far behind: starts again from now
    timer_limit_rate(100);
    EXPECT_EQ(rate_limit_last, 1200.0);
    fake_ticks = 500;  // the clock went back
    timer_limit_rate(100);
    EXPECT_EQ(rate_limit_last, 500.0);
    EXPECT_EQ(error_state.error_number, 0u);
}

TEST_F(TimerTest, RateLimiterRejectsBadRates) {
    for (double bad : {0.0, -5.0, 1.0 / 61.0, std::nan("")}) {
        error_state.error_number = 0;
        timer_limit_rate(bad);
        EXPECT_EQ(error_state.error_number, 5u) << bad;
    }
    error_state.error_number = 0;
    timer_limit_rate(1.0 / 60.0);  // a period of exactly a minute is allowed
    EXPECT_EQ(error_state.error_number, 0u);
}

TEST(TimerCalibrationTest, OriginIsATimeOfDay) {
    timer_calibrate();
    EXPECT_LT(timer_origin_ms, 86400000u);
    EXPECT_EQ(timer_origin_ms % 1000, 0u);
    const double now = timer_seconds(0.001, 1);
    EXPECT_GE(now, 0.0);
    EXPECT_LT(now, 86400.0);
}

// ---------------------------------------------------------------------------------------
// Conversions and INT
// ---------------------------------------------------------------------------------------

TEST(NumberConversionTest, RoundsHalfToEvenWithoutOverflowError) {
    constexpr int32_t kIndefinite = std::numeric_limits<int32_t>::min();
    struct Case { double value; int32_t expected; };
    const Case kCases[] = {
        {2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0}, {1.5, 2}, {0.49999999, 0},
        {2147483647.0, 2147483647}, {2147483647.4, 2147483647}, {2147483647.5, kIndefinite},
        {-2147483648.0, kIndefinite}, {-2147483648.5, kIndefinite}, {1e300, kIndefinite},
        {std::nan(""), kIndefinite}, {-std::numeric_limits<double>::infinity(), kIndefinite},
    };
    for (const Case& c : kCases) EXPECT_EQ(number_to_int32_double(c.value), c.expected) << c.value;
    EXPECT_EQ(number_to_int32_single(2.5f), 2);
    EXPECT_EQ(number_to_int32_single(-3.5f), -4);
    EXPECT_EQ(number_to_int32_single(3e9f), kIndefinite);
}

TEST(NumberConversionTest, IntegerAssignmentKeepsLow16Bits) {
    EXPECT_EQ(number_to_int16_double(32767.5), -32768);  // 32768 in 32 bits
    EXPECT_EQ(number_to_int16_single(32767.5f), -32768);
    EXPECT_EQ(number_to_int16_double(65536.0), 0);
    EXPECT_EQ(number_to_int16_double(-32768.5), -32768);
    EXPECT_EQ(number_to_int16_double(40000.0), 40000 - 65536);
}

TEST(NumberConversionTest, ExtendedToInt64) {
    EXPECT_EQ(number_to_int64(2.5L), 2);
    EXPECT_EQ(number_to_int64(-2.5L), -2);
    EXPECT_EQ(number_to_int64(4294967296.5L), 4294967296);
    EXPECT_EQ(number_to_int64(9.3e18L), std::numeric_limits<int64_t>::min());
}

TEST(NumberConversionTest, IntIsFloor) {
    struct Case { double value; int32_t expected; };
    constexpr Case kCases[] = {{2.999, 2}, {-0.5, -1}, {-2.0, -2}, {0.0, 0}, {9.9999994, 9}, {-2.5, -3}};
    for (const Case& c : kCases) EXPECT_EQ(number_int(c.value), c.expected) << c.value;
    EXPECT_EQ(number_int64(-0.25L), -1);
}

}  // namespace
