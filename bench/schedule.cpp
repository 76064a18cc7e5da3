// Schedule accuracy and start-up time of a real controller program, measured
// from its block alone.
//
//   schedule [--program PATH] [--cycles N] [--period MICROSECONDS]... [--startups N]
//
// For each period and each schedule mode (default, precise, and precise with
// VX_REALTIME=1) the tool starts
// the program on a private block, sets the period, lets it run N cycles and
// watches the cycle counter from this process, looking every 20 us (in a
// real-time class when the system grants it, so that other work on the
// machine delays the look as little as possible). A cycle's
// start is taken as the moment its counter step is seen. The drift is the
// mean period minus the period, taken between the best-placed cycles of the
// first and the last tenth of the run, so that one late cycle at either end
// does not pass for drift; the lateness of a cycle is how much later its
// step came than the schedule's best-placed one (a start cannot be early).
// Start-up time is from starting the program to its process id and
// signature published and STOP reported, the median of several starts.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "vx/platform/system.hpp"

#include "vx/testing/program.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLook = std::chrono::microseconds(20);
using vx::testing::Program;
using vx::testing::ProgramOptions;

struct Options {
    std::string program;
    int cycles = 500;
    std::vector<double> periods;
    int startups = 21;
};

struct Figures {
    double drift = 0;  // microseconds per cycle
    double p50 = 0, p99 = 0, max = 0;  // lateness, microseconds
};

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

struct Mode {
    const char* name;
    const char* schedule;  // VX_SCHEDULE
    const char* realtime;  // VX_REALTIME
};
constexpr Mode kModes[] = {{"default", "default", "0"}, {"precise", "precise", "0"}, {"prec+rt", "precise", "1"}};

ProgramOptions program_options(const Options& options, const Mode& mode) {
    ProgramOptions p;
    p.executable = options.program;
    p.name = std::filesystem::path(options.program).filename().string();
    p.env = {{"VX_SCHEDULE", mode.schedule}, {"VX_REALTIME", mode.realtime}};
    return p;
}

// The earliest placed of the samples [from, to): its cycle and its offset
// from the nominal schedule.
std::pair<double, double> best_placed(const std::vector<std::pair<double, double>>& starts, std::size_t from,
                                      std::size_t to, double period) {
    std::pair<double, double> best{starts[from].first, starts[from].second - starts[from].first * period};
    for (std::size_t k = from; k < to; ++k) {
        const double offset = starts[k].second - starts[k].first * period;
        if (offset < best.second) best = {starts[k].first, offset};
    }
    return best;
}

Figures measure(const Options& options, const Mode& mode, double period) {
    Program program(program_options(options, mode));
    program.start();
    if (!program.attach()) {
        std::fprintf(stderr, "%s did not start\n", options.program.c_str());
        std::exit(1);
    }
    program.set_period(static_cast<float>(period));
    program.set_status(RUN);
    // Each seen counter step: the cycle's number since the first one seen and
    // when it was seen. A step that this process missed (it was not
    // scheduled at that moment) is skipped, never taken for another cycle.
    std::vector<std::pair<double, double>> starts;
    std::int32_t seen = program.counter();
    std::int32_t first_cycle = 0;
    Clock::time_point first{};
    for (;;) {
        const std::int32_t now = program.counter();
        if (now == seen) {
            std::this_thread::sleep_for(kLook);
            continue;
        }
        const auto at = Clock::now();
        if (starts.empty()) {
            first = at;
            first_cycle = now;
        }
        seen = now;
        starts.emplace_back(now - first_cycle, std::chrono::duration<double, std::micro>(at - first).count());
        if (now - first_cycle >= options.cycles) break;
    }
    program.set_status(END);
    program.wait_exit();

    Figures f;
    const std::size_t tenth = std::max<std::size_t>(1, starts.size() / 10);
    const auto head = best_placed(starts, 0, tenth, period);
    const auto tail = best_placed(starts, starts.size() - tenth, starts.size(), period);
    f.drift = tail.first > head.first ? (tail.second - head.second) / (tail.first - head.first) : 0.0;
    std::vector<double> offsets;  // each start against its slot on the ideal schedule
    for (const auto& [cycle, at] : starts) offsets.push_back(at - cycle * (period + f.drift));
    const double best = *std::min_element(offsets.begin(), offsets.end());
    for (double& o : offsets) o -= best;
    f.p50 = percentile(offsets, 0.50);
    f.p99 = percentile(offsets, 0.99);
    f.max = *std::max_element(offsets.begin(), offsets.end());
    return f;
}

double startup_median(const Options& options) {
    std::vector<double> times;
    for (int k = 0; k < options.startups; ++k) {
        Program program(program_options(options, kModes[0]));
        const auto start = Clock::now();
        program.start();
        const bool up = program.attach() && vx::testing::eventually([&] {
            return vx::prev(program.i(311)) == STOP;
        });
        const auto ready = Clock::now();
        if (!up) return -1;
        times.push_back(std::chrono::duration<double, std::milli>(ready - start).count());
        program.set_status(END);
        program.wait_exit();
    }
    return percentile(times, 0.5);
}

Options parse(int argc, char** argv) {
    Options options;
    options.program = (std::filesystem::path(argv[0]).parent_path().parent_path() / "bin" / "tarvo").string();
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string flag = argv[k];
        const char* value = argv[k + 1];
        if (flag == "--program") options.program = value;
        else if (flag == "--cycles") options.cycles = std::max(2, std::atoi(value));
        else if (flag == "--period") options.periods.push_back(std::atof(value));
        else if (flag == "--startups") options.startups = std::max(1, std::atoi(value));
        else {
            std::fprintf(stderr, "usage: schedule [--program PATH] [--cycles N] [--period US]... [--startups N]\n");
            std::exit(2);
        }
    }
    if (options.periods.empty()) options.periods = {10000, 12500, 1500};
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    std::string why;
    const bool realtime = vx::platform::request_realtime(why);
    std::printf("%s, %d cycles per run; microseconds; observer %s\n", options.program.c_str(), options.cycles,
                realtime ? "real-time" : ("not real-time: " + why).c_str());
    std::printf("%10s  %-8s %9s %9s %9s %9s\n", "period", "mode", "drift", "late p50", "late p99", "late max");
    for (const double period : options.periods) {
        for (const Mode& mode : kModes) {
            const Figures f = measure(options, mode, period);
            std::printf("%10.1f  %-8s %9.2f %9.1f %9.1f %9.1f\n", period, mode.name, f.drift, f.p50, f.p99, f.max);
            std::fflush(stdout);
        }
    }
    std::printf("start-up to STOP, median of %d: %.2f ms\n", options.startups, startup_median(options));
}
