// vxgen check on the five traffic lights, each explored completely: the
// invariant is one that holds everywhere (a step is active or not), so that
// nothing ends the exploration early. Reports the states, the states per
// second and the process's peak memory.
//   bench/vx_check_bench --benchmark_repetitions=3
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "vx/grafcet/check.hpp"
#include "vx/grafcet/description.hpp"

namespace {

vx::grafcet::Graph load(const std::string& name) {
    const std::string path = std::string(VX_CONTROLLERS_DIR) + "/" + name + "/" + name + ".grafcet";
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    auto parsed = vx::grafcet::parse_description(text.str(), path);
    if (!parsed.graph) throw std::runtime_error("cannot read " + path);
    return *parsed.graph;
}

void ExploreCompletely(benchmark::State& state, const char* name) {
    const vx::grafcet::Graph graph = load(name);
    vx::grafcet::CheckOptions options;
    const std::string step = "X_" + std::to_string(graph.steps.front().number);
    options.invariants = {step + " | not " + step};
    vx::grafcet::CheckResult result;
    for (auto _ : state) {
        result = vx::grafcet::check(graph, options);
        if (result.outcome != vx::grafcet::CheckResult::Outcome::Holds) state.SkipWithError("not explored completely");
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["states"] = static_cast<double>(result.states);
    state.counters["transitions"] = static_cast<double>(result.transitions);
    state.counters["states/s"] = benchmark::Counter(static_cast<double>(result.states) * static_cast<double>(state.iterations()),
                                                    benchmark::Counter::kIsRate);
    state.counters["store_MB"] = static_cast<double>(result.store_bytes) / (1024.0 * 1024.0);
    state.counters["peak_MB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}

BENCHMARK_CAPTURE(ExploreCompletely, tarvo, "tarvo")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExploreCompletely, melki, "melki")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExploreCompletely, melki_bis, "melki_bis")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExploreCompletely, sorel, "sorel")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(ExploreCompletely, sorel_bis, "sorel_bis")->Unit(benchmark::kMillisecond);

}  // namespace
