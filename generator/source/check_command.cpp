// The command line of `vxgen check`: reads the description and the
// invariants, explores, prints the verdict with its figures and writes the
// counterexample scenario when asked.
#include <CLI/CLI.hpp>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>

#include "vx/grafcet/check.hpp"
#include "vx/grafcet/description.hpp"

namespace vx::grafcet {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void on_interrupt(int) { g_interrupted = 1; }

// A duration as the scenario files write it ("2 s", "500ms", "1.5s"); a bare
// number is in seconds. Nothing for anything else.
std::optional<double> seconds_of(const std::string& text) {
    std::size_t used = 0;
    double value = 0.0;
    try {
        value = std::stod(text, &used);
    } catch (...) {
        return std::nullopt;
    }
    const auto unit_start = text.find_first_not_of(" \t", used);
    const std::string unit = unit_start == std::string::npos ? "s" : text.substr(unit_start);
    if (!std::isfinite(value) || value < 0) return std::nullopt;
    if (unit == "s") return value;
    if (unit == "ms") return value / 1e3;
    if (unit == "us") return value / 1e6;
    return std::nullopt;
}

int error(const std::string& message) {
    std::cerr << "vxgen check: " << message << "\n";
    return 1;
}

long peak_kilobytes() {
    rusage usage{};
    return getrusage(RUSAGE_SELF, &usage) == 0 ? usage.ru_maxrss : 0;
}

}  // namespace

int check_command(int argc, char** argv) {
    CLI::App app{"Proves invariants of a controller over every input sequence, or finds the shortest that breaks one."};
    app.name("vxgen check");
    app.footer("Example:\n  vxgen check controllers/tarvo/tarvo.grafcet --invariant 'not (vert & rouge)'\n"
               "  vxgen check controllers/sorel/sorel.grafcet --scenario scenarios/sorel.scn "
               "--assume 'not (jour & nuit)' --min-dwell 2s --counterexample sorel.cex.scn");
    std::string description, scenario, counterexample, dwell_text, period_text = "50 ms";
    CheckOptions options;
    app.add_option("description", description, "the controller description")->required();
    app.add_option("-i,--invariant", options.invariants, "a condition that must hold after every pass (repeatable)")
        ->allow_extra_args(false);
    app.add_option("--scenario", scenario, "take the invariants of a scenario file");
    app.add_option("--assume", options.assumptions,
                   "a condition on the inputs (and the state before the pass) that the plant always keeps (repeatable)")
        ->allow_extra_args(false);
    app.add_option("--min-dwell", dwell_text, "every input holds at least this long once changed (for example 2 s)");
    app.add_option("--period", period_text, "the cycle period of the program (default 50 ms)");
    app.add_flag("--free-plant", options.free_plant,
                 "let every plant cell the controller reads take any value at every pass");
    app.add_option("--max-states", options.max_states, "stop after this many states");
    app.add_option("--counterexample", counterexample, "write a violation's inputs as a scenario file");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }

    std::string text;
    if (!read_text_file(description, text)) return error("cannot read " + description + ": " + std::strerror(errno));
    const ParsedDescription parsed = parse_description(text, description);
    if (!parsed.errors.empty()) {
        for (const Diagnostic& d : parsed.errors) std::cerr << d.text() << "\n";
        return error(std::to_string(parsed.errors.size()) + (parsed.errors.size() == 1 ? " error" : " errors") +
                     " in the description");
    }
    if (!scenario.empty()) {
        std::string scenario_text;
        if (!read_text_file(scenario, scenario_text)) return error("cannot read " + scenario + ": " + std::strerror(errno));
        // A scenario names the program it is written for; the simulator
        // refuses it on another, and so does the check.
        std::istringstream lines(scenario_text);
        for (std::string line; std::getline(lines, line);) {
            std::istringstream words(line.substr(0, line.find('#')));
            std::string keyword, program;
            if (words >> keyword >> program && keyword == "program" && program != parsed.graph->name)
                return error(scenario + " is written for " + program + ", but " + description + " describes " +
                             parsed.graph->name);
        }
        const auto found = scenario_invariants(scenario_text);
        if (found.empty()) return error(scenario + " states no invariant");
        options.invariants.insert(options.invariants.end(), found.begin(), found.end());
    }
    const auto period = seconds_of(period_text);
    if (!period || *period <= 0 || *period > 3600)
        return error("--period " + period_text + ": give a duration above 0 and at most 3600 s, for example 50 ms");
    options.period = *period * 1e6;
    if (!dwell_text.empty()) {
        const auto dwell = seconds_of(dwell_text);
        if (!dwell) return error("--min-dwell " + dwell_text + ": give a duration, for example 2 s");
        options.min_dwell = *dwell;
    }

    g_interrupted = 0;
    options.interrupted = &g_interrupted;
    struct sigaction action {}, saved {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &saved);
    const CheckResult result = check(*parsed.graph, options);
    ::sigaction(SIGINT, &saved, nullptr);

    if (result.outcome == CheckResult::Outcome::Error) return error(result.error);
    std::cout << report(result, options.period);
    const double rate = result.seconds > 0 ? static_cast<double>(result.states) / result.seconds : 0.0;
    char figures[160];
    std::snprintf(figures, sizeof figures, "explored in %.3f s (%.0f states/s), peak memory %.1f MB, state store %.1f MB\n",
                  result.seconds, rate, static_cast<double>(peak_kilobytes()) / 1024.0,
                  static_cast<double>(result.store_bytes) / (1024.0 * 1024.0));
    std::cout << figures;
    switch (result.outcome) {
        case CheckResult::Outcome::Holds: return 0;
        case CheckResult::Outcome::Violated: break;
        default: return 3;
    }
    if (!counterexample.empty()) {
        std::ofstream out(counterexample, std::ios::binary | std::ios::trunc);
        if (!out || !(out << counterexample_scenario(result, *parsed.graph, options.period)) || !out.flush())
            return error("cannot write " + counterexample + ": " + std::strerror(errno));
        std::cout << "counterexample written to " << counterexample << "\n";
    }
    return 2;
}

}  // namespace vx::grafcet
