// Speed of the calculation core: the correction over a spread of realistic
// inputs (target: under 1 us per call; the window asks at most 20 times a
// second), its parts, and the batch engine's throughput without process I/O.
#include <benchmark/benchmark.h>
#include <stdint.h>
#include <string>
#include <vector>
#include "calc/batch.h"
#include "calc/characteristic.h"
#include "calc/coefficient.h"

namespace {

CharacteristicTable table;

struct Inputs {
    int32_t coeff, displayed, real;
};

uint32_t next_random(uint32_t *seed) {
    *seed = *seed * 1664525u + 1013904223u;
    return *seed >> 8;
}

// Coefficients 400..4000 and temperatures over the whole table, the odd
// unusable one included, so that every bracket of the lookup is exercised.
std::vector<Inputs> realistic_inputs() {
    characteristic_table = &table;
    fill_characteristic_table();
    std::vector<Inputs> v(4096);
    uint32_t seed = 7;
    for (Inputs &in : v) {
        in.coeff = 400 + (int32_t)(next_random(&seed) % 3601);
        in.displayed = -20 + (int32_t)(next_random(&seed) % 600);
        in.real = -20 + (int32_t)(next_random(&seed) % 640);
    }
    return v;
}

void BM_ComputeCoefficient(benchmark::State &state) {
    std::vector<Inputs> inputs = realistic_inputs();
    size_t k = 0;
    for (auto _ : state) {
        const Inputs &in = inputs[k++ & 4095];
        benchmark::DoNotOptimize(compute_coefficient(in.coeff, in.displayed, in.real));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ComputeCoefficient);

void BM_TableToTemperature(benchmark::State &state) {
    std::vector<Inputs> inputs = realistic_inputs();
    size_t k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(table_to_temperature((float)inputs[k++ & 4095].real));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_TableToTemperature);

void BM_ParseInt(benchmark::State &state) {
    const char *texts[] = {"1100", "150", " -12x", "99.9", "4000", "abc", "2147483648", "+7"};
    size_t k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize(parse_int(texts[k++ & 7]));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ParseInt);

bool discard(void *, const char *, size_t) {
    return true;
}

// Lines per second through the batch engine alone, for comparison with the
// process figure that tools/bench.sh measures.
void BM_BatchLines(benchmark::State &state) {
    std::vector<Inputs> inputs = realistic_inputs();
    std::string text;
    for (const Inputs &in : inputs)
        text += std::to_string(in.coeff) + "\t" + std::to_string(in.displayed) + "\t" +
                std::to_string(in.real) + "\n";
    BatchSink sink = {nullptr, discard, nullptr, nullptr};
    for (auto _ : state) {
        BatchState s;
        batch_start(&s, "\n");
        batch_feed(&s, text.data(), text.size(), &sink);
        batch_finish(&s, &sink);
        benchmark::DoNotOptimize(s.line_number);
    }
    state.SetItemsProcessed(state.iterations() * (int64_t)inputs.size());
    state.SetBytesProcessed(state.iterations() * (int64_t)text.size());
}
BENCHMARK(BM_BatchLines);

} // namespace

BENCHMARK_MAIN();
