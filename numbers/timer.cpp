// TIMER (seconds since midnight on the classic 18.2 Hz tick) and the loop-rate limiter.
#include <chrono>
#include <cmath>
#include <ctime>

#include "errors/errors.h"
#include "numbers/numbers.h"
#include "platform/platform.h"

uint32_t timer_origin_ticks = 0;
uint32_t timer_origin_ms = 0;
double rate_limit_last = 0.0;

namespace {

constexpr uint32_t kMillisecondsPerDay = 86400000u;
constexpr double kClassicTicksPerSecond = 18.2;

uint32_t timer_steady_ms() {
    using Clock = std::chrono::steady_clock;
    static const Clock::time_point start = Clock::now();
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
    return static_cast<uint32_t>(elapsed.count());  // wraps like a 32-bit tick counter
}

}  // namespace

uint32_t (*timer_tick_source)() = timer_steady_ms;

uint32_t timer_ticks_ms() { return timer_tick_source(); }

void timer_calibrate() {
    std::time_t now = std::time(nullptr);
    if (now != static_cast<std::time_t>(-1)) {
        // Wait for the next whole second so the origin sits on a second boundary.
        const std::time_t first = now;
        while (now == first) {
            platform_sleep_ms(1);
            now = std::time(nullptr);
        }
    } else {
        now = 0;
    }
    timer_origin_ticks = timer_ticks_ms();
    std::tm local{};
    if (localtime_r(&now, &local) != nullptr) {
        timer_origin_ms = static_cast<uint32_t>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000u;
    } else {
        timer_origin_ms = 0;
    }
}

double timer_seconds(double accuracy, int32_t given) {
    if (error_pending()) return 0.0;
    const uint32_t ms = (timer_ticks_ms() - timer_origin_ticks + timer_origin_ms) % kMillisecondsPerDay;
    double seconds = ms / 1000.0;
    double steps = kClassicTicksPerSecond;
    if (given) {
        if (!(accuracy > 0.0)) {
            error_raise(kErrorIllegalFunctionCall);
            return 0.0;
        }
        steps = 1.0 / accuracy;
    }
    const double scaled = seconds * steps;
    // A step finer than a 64-bit count can express leaves the value as it is rather than
    // rounding through an overflowed integer.
    if (std::fabs(scaled) < 9.2e18) {
        seconds = static_cast<double>(std::llrint(scaled)) / steps;
    }
    if (!given) return static_cast<double>(static_cast<float>(seconds));
    return seconds;
}

void timer_limit_rate(double rate_per_second) {
    if (error_pending()) return;
    if (!(rate_per_second > 0.0)) {  // also rejects NaN
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    const double period_ms = 1000.0 / rate_per_second;
    if (period_ms > 60000.0) {
        error_raise(kErrorIllegalFunctionCall);
        return;
    }
    const double now = timer_ticks_ms();
    if (rate_limit_last == 0.0 || rate_limit_last > now) {
        rate_limit_last = now;
        return;
    }
    const double elapsed = now - rate_limit_last;
    if (elapsed < period_ms) {
        platform_sleep_ms(static_cast<uint32_t>(period_ms - elapsed + 1.0));
        rate_limit_last += period_ms;
    } else if (elapsed <= period_ms + 16.0) {
        rate_limit_last += period_ms;  // keep the rhythm
    } else {
        rate_limit_last = now;  // fell far behind: drop the backlog
    }
}
