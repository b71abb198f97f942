// Speed of the string engine against std::string, and of number text against snprintf;
// prints each measured/baseline ratio after the runs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "strings/number_text.h"
#include "strings/strings.h"

namespace {

constexpr char kShort[] = "You are in a bedroom.";
constexpr char kLong[] = "A randomly drawn item of a randomly drawn colour lies on the floor beside the bed.";

void engine_ready() {
    static bool ready = false;
    if (!ready) {
        string_engine_init();
        ready = true;
    }
}

// ---------------------------------------------------------------- assignment

void assign_engine(benchmark::State& state) {
    engine_ready();
    const int32_t mark = string_temporary_mark();
    BasicString* variable = string_new(0, false);
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        const char* text = flip ? kShort : kLong;
        string_assign(variable, string_new_literal(text, static_cast<int32_t>(flip ? sizeof kShort - 1 : sizeof kLong - 1)));
        string_release_temporaries(mark, 0);
        benchmark::DoNotOptimize(variable->text);
    }
    string_free(variable);
}

void assign_std_string(benchmark::State& state) {
    std::string variable;
    bool flip = false;
    for (auto _ : state) {
        flip = !flip;
        variable.assign(flip ? kShort : kLong, flip ? sizeof kShort - 1 : sizeof kLong - 1);
        benchmark::DoNotOptimize(variable.data());
    }
}

// ---------------------------------------------------------------- concatenation

void concat_engine(benchmark::State& state) {
    engine_ready();
    const int32_t mark = string_temporary_mark();
    BasicString* name = string_new(0, false);
    string_assign(name, string_new_literal("lamp", 4));
    BasicString* line = string_new(0, false);
    for (auto _ : state) {
        // line$ = "You see a " + name$ + " here."
        string_assign(line, string_concat(string_concat(string_new_literal("You see a ", 10), name),
                                          string_new_literal(" here.", 6)));
        string_release_temporaries(mark, 0);
        benchmark::DoNotOptimize(line->text);
    }
    string_free(line);
    string_free(name);
}

void concat_std_string(benchmark::State& state) {
    const std::string name = "lamp";
    std::string line;
    for (auto _ : state) {
        line = std::string("You see a ") + name + " here.";
        benchmark::DoNotOptimize(line.data());
    }
}

// ---------------------------------------------------------------- per-statement release

void release_engine(benchmark::State& state) {
    engine_ready();
    const int32_t mark = string_temporary_mark();
    for (auto _ : state) {
        // Four intermediate values die at the end of the statement.
        for (int i = 0; i < 4; ++i) benchmark::DoNotOptimize(string_new(40, true)->text);
        string_release_temporaries(mark, 0);
    }
}

void release_std_string(benchmark::State& state) {
    for (auto _ : state) {
        std::string values[4];
        for (std::string& v : values) {
            v.resize(40);
            benchmark::DoNotOptimize(v.data());
        }
    }
}

// ---------------------------------------------------------------- number text

std::vector<double> number_samples() {
    std::mt19937_64 random(7);
    std::vector<double> values;
    for (int i = 0; i < 1024; ++i) {
        switch (i % 4) {
        case 0: values.push_back(static_cast<double>(random() % 100000)); break;
        case 1: values.push_back(static_cast<double>(random() % 1000000) / 1000.0); break;
        case 2: values.push_back(1.0 / static_cast<double>(random() % 1000 + 1)); break;
        default: values.push_back(static_cast<double>(random() % 1000000) * 1e30); break;
        }
    }
    return values;
}

void number_text_double_engine(benchmark::State& state) {
    engine_ready();
    const std::vector<double> values = number_samples();
    const int32_t mark = string_temporary_mark();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(number_text_double(values[i++ & 1023])->text);
        string_release_temporaries(mark, 0);
    }
}

void number_text_single_engine(benchmark::State& state) {
    engine_ready();
    const std::vector<double> values = number_samples();
    std::vector<float> singles(values.begin(), values.end());
    const int32_t mark = string_temporary_mark();
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(number_text_single(singles[i++ & 1023])->text);
        string_release_temporaries(mark, 0);
    }
}

void number_snprintf(benchmark::State& state) {
    const std::vector<double> values = number_samples();
    char buffer[40];
    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%.17g", values[i++ & 1023]));
        benchmark::ClobberMemory();
    }
}

BENCHMARK(assign_engine)->Name("assign/engine");
BENCHMARK(assign_std_string)->Name("assign/std_string");
BENCHMARK(concat_engine)->Name("concat/engine");
BENCHMARK(concat_std_string)->Name("concat/std_string");
BENCHMARK(release_engine)->Name("release/engine");
BENCHMARK(release_std_string)->Name("release/std_string");
BENCHMARK(number_text_double_engine)->Name("number_text_double/engine");
BENCHMARK(number_text_single_engine)->Name("number_text_single/engine");
BENCHMARK(number_snprintf)->Name("number/snprintf_17g");

// Collects the times of the runs and prints every measured/baseline ratio at the end.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        // Processor time: the machine is shared, so wall time is noisy. With repetitions
        // the median stands for the benchmark.
        for (const Run& run : runs) {
            const bool aggregate = run.run_type == Run::RT_Aggregate;
            if (aggregate && run.aggregate_name != "median") continue;
            times_ns_[run.run_name.str()] = run.GetAdjustedCPUTime();
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        const struct {
            const char* measured;
            const char* baseline;
        } pairs[] = {
            {"assign/engine", "assign/std_string"},
            {"concat/engine", "concat/std_string"},
            {"release/engine", "release/std_string"},
            {"number_text_double/engine", "number/snprintf_17g"},
            {"number_text_single/engine", "number/snprintf_17g"},
        };
        std::printf("\nratio (measured / baseline, below 1 is faster)\n");
        for (const auto& pair : pairs) {
            const auto measured = times_ns_.find(pair.measured);
            const auto baseline = times_ns_.find(pair.baseline);
            if (measured == times_ns_.end() || baseline == times_ns_.end()) continue;
            std::printf("  %-28s / %-20s %6.2f\n", pair.measured, pair.baseline, measured->second / baseline->second);
        }
    }

private:
    std::map<std::string, double> times_ns_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
