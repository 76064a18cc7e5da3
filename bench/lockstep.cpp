// Lockstep speed: what `vxctl sim --fast` achieves with each program, the
// conveyor's 30 s scenario end to end, and the handshake's round trip
// beside a bare futex ping-pong between two processes, measured in the same
// run.
//
//   lockstep [--bin DIR] [--scenarios DIR] [--hours H] [--round-trips N]
//
// --bin is the build's bin folder (vxctl and the programs), --scenarios the
// scenario folder; each program plays its scenario for H hours of plant time
// (default 1) with every invariant checked after every cycle. The round
// trip is timed from this process: grant a cycle to tarvo and wait until it
// has handed it back, N times (default 20000); the ping-pong is this
// process and a copy of itself waking each other through a futex word in
// shared memory, N times.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "vx/lockstep.hpp"
#include "vx/platform/futex.hpp"
#include "vx/platform/process.hpp"
#include "vx/platform/shared_memory.hpp"
#include "vx/platform/system.hpp"
#include "vx/testing/program.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using vx::testing::Program;
using vx::testing::ProgramOptions;

constexpr std::uint64_t kSlice = 100000000;  // 100 ms: waits look again

double percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const auto at = static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

std::uint32_t load(std::uint32_t& word) { return std::atomic_ref<std::uint32_t>(word).load(std::memory_order_acquire); }

// Waits until `word` reads `value`.
void await(std::uint32_t& word, std::uint32_t value) {
    for (std::uint32_t seen; (seen = load(word)) != value;) vx::platform::futex_wait(&word, seen, kSlice);
}

// The ping-pong partner: answers every ping with a pong until the count is
// reached.
int pong(const std::string& name, std::uint32_t count) {
    std::string error;
    auto shm = vx::platform::SharedMemory::open(name, 0, vx::platform::OpenMode::AttachOnly, error);
    if (!shm.is_open()) return 1;
    auto* words = static_cast<std::uint32_t*>(shm.address());
    for (std::uint32_t k = 1; k <= count; ++k) {
        await(words[0], k);
        std::atomic_ref<std::uint32_t>(words[1]).store(k, std::memory_order_release);
        vx::platform::futex_wake(&words[1]);
    }
    return 0;
}

std::vector<double> ping_pong(const char* self, std::uint32_t count) {
    const std::string name = "vxbench" + std::to_string(vx::platform::process_id());
    std::string error;
    auto shm = vx::platform::SharedMemory::open(name, 4096, vx::platform::OpenMode::CreateOrAttach, error);
    if (!shm.is_open()) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    auto* words = static_cast<std::uint32_t*>(shm.address());
    auto child = vx::platform::ChildProcess::spawn(self, {{"VX_BENCH_PONG", name + ":" + std::to_string(count)}}, error);
    if (!child) {
        std::fprintf(stderr, "%s\n", error.c_str());
        std::exit(1);
    }
    std::vector<double> times;
    times.reserve(count);
    for (std::uint32_t k = 1; k <= count; ++k) {
        const auto start = Clock::now();
        std::atomic_ref<std::uint32_t>(words[0]).store(k, std::memory_order_release);
        vx::platform::futex_wake(&words[0]);
        await(words[1], k);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    child->wait_for(std::chrono::seconds(5));
    return times;
}

std::vector<double> handshake(const std::string& program, std::uint32_t count) {
    ProgramOptions options;
    options.executable = program;
    options.env = {{"VX_SCHEDULE", "lockstep"}};
    Program p(options);
    p.start();
    if (!p.attach() || p.sync() == nullptr) {
        std::fprintf(stderr, "%s did not start in lockstep mode\n", program.c_str());
        std::exit(1);
    }
    vx::LockstepSync& sync = *p.sync();
    std::vector<double> times;
    times.reserve(count);
    for (std::uint32_t k = 1; k <= count; ++k) {
        const auto start = Clock::now();
        std::atomic_ref<std::uint32_t>(sync.grant).store(k, std::memory_order_release);
        if (k == 1) p.set_status(RUN);
        vx::platform::futex_wake(&sync.grant);
        await(sync.done, k);
        times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
    p.set_status(END);
    p.wake();
    p.wait_exit();
    return times;
}

// Runs vxctl with `args`; its standard output and the wall time it took.
std::pair<std::string, double> vxctl(const std::string& bin, std::vector<std::string> args) {
    ProgramOptions options;
    options.executable = bin + "/vxctl";
    options.args = std::move(args);
    Program p(options);
    const auto start = Clock::now();
    p.start();
    const auto status = p.wait_exit(std::chrono::minutes(10));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (status != 0) std::fprintf(stderr, "vxctl ended with %d: %s\n", status.value_or(-1), p.err().c_str());
    return {p.out(), seconds};
}

// "... (N cycles, R cycles/s)" from sim's last line.
double cycles_per_second(const std::string& report) {
    const auto at = report.rfind(" cycles, ");
    return at == std::string::npos ? 0.0 : std::atof(report.c_str() + at + 9);
}

}  // namespace

int main(int argc, char** argv) {
    if (const char* partner = std::getenv("VX_BENCH_PONG")) {
        const std::string partner_text = partner;
        const auto colon = partner_text.rfind(':');
        return pong(partner_text.substr(0, colon), static_cast<std::uint32_t>(std::atol(partner_text.c_str() + colon + 1)));
    }
    std::string bin = "build/bin", scenarios = "scenarios";
    double hours = 1.0;
    std::uint32_t round_trips = 20000;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i];
        if (key == "--bin") bin = argv[i + 1];
        else if (key == "--scenarios") scenarios = argv[i + 1];
        else if (key == "--hours") hours = std::atof(argv[i + 1]);
        else if (key == "--round-trips") round_trips = static_cast<std::uint32_t>(std::atol(argv[i + 1]));
    }

    std::printf("| program | plant time | cycles/s (invariants checked every cycle) | wall time |\n|---|---|---|---|\n");
    for (const char* name : {"tarvo", "melki", "melki_bis", "sorel", "sorel_bis", "conveyor"}) {
        const auto [out, seconds] = vxctl(bin, {"sim", "--fast", "--for", std::to_string(hours * 3600.0), "--program",
                                                bin + "/" + name, scenarios + "/" + name + ".scn"});
        std::printf("| %s | %.0f s | %.0f | %.2f s |\n", name, hours * 3600.0, cycles_per_second(out), seconds);
    }

    std::vector<double> conveyor;
    for (int k = 0; k < 11; ++k)
        conveyor.push_back(vxctl(bin, {"sim", "--fast", "--program", bin + "/conveyor", scenarios + "/conveyor.scn"}).second);
    std::printf("\nconveyor's 30 s scenario, start to end of vxctl (program started and ended by it), 11 runs: "
                "median %.3f s, max %.3f s\n",
                percentile(conveyor, 0.5), percentile(conveyor, 1.0));

    const auto bare = ping_pong(argv[0], round_trips);
    const auto shake = handshake(bin + "/tarvo", round_trips);
    std::printf("\n| %u round trips | median | p99 |\n|---|---|---|\n", round_trips);
    std::printf("| bare futex ping-pong, two processes | %.1f us | %.1f us |\n", percentile(bare, 0.5), percentile(bare, 0.99));
    std::printf("| lockstep handshake with tarvo's cycle | %.1f us | %.1f us |\n", percentile(shake, 0.5),
                percentile(shake, 0.99));
    std::printf("| ratio | %.2f | %.2f |\n", percentile(shake, 0.5) / percentile(bare, 0.5),
                percentile(shake, 0.99) / percentile(bare, 0.99));
    return 0;
}
