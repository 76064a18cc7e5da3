// The Modbus TCP server under load, beside the controller it serves.
//
//   modbus_bench [--program PATH] [--vxctl PATH] [--seconds S] [--period MICROSECONDS] [--realtime 1]
//
// Starts the program (build/bin/tarvo by default) on a private block with the
// precise schedule, lets it run at the period (1000 us by default), and in
// the same run:
//  1. measures its cycle durations with no server (the mean of the last 100
//     cycles, sampled every 50 ms and averaged, and the longest);
//  2. starts `vxctl modbus` with a map of 100 holding registers (50 int
//     cells) and measures, with 16 clients reading those 100 registers as
//     fast as they can, requests per second and the latency percentiles,
//     and the program's cycle durations meanwhile;
//  3. the same requests with one client;
//  4. ends the server and measures the cycle durations with no server again.
// Every phase lasts S seconds (3 by default). With --realtime 1 the program
// runs with VX_REALTIME=1 (a real-time class when the system grants it), as
// a controller beside other work would: the clients and the server then take
// only the processor time it leaves. Figures are wall-clock on the machine
// at hand: on a shared machine, run it twice.
#include <fcntl.h>
#include <modbus/modbus.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "vx/testing/program.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
using vx::cur;
using vx::set_cur;
using vx::testing::Program;
using vx::testing::ProgramOptions;

struct Options {
    std::string program = std::string(VX_BIN_DIR) + "/tarvo";
    std::string vxctl = std::string(VX_BIN_DIR) + "/vxctl";
    double seconds = 3.0;
    float period = 1000.0f;
    bool realtime = false;
};

struct CycleFigures {
    double mean = 0, max = 0;  // microseconds
};

struct LoadFigures {
    double per_second = 0, p50 = 0, p99 = 0, max = 0;  // latencies in microseconds
    long failures = 0;
};

double percentile(std::vector<double>& values, double fraction) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(fraction * static_cast<double>(values.size() - 1) + 0.5)];
}

// The program's cycle durations over `seconds`: its longest is restarted at
// the beginning (by writing 0 into it, as a debugger may), and its mean of
// the last 100 cycles is sampled every 50 ms.
CycleFigures watch_cycles(const Program& p, double seconds) {
    set_cur(p.f(12), 0.0f);
    double sum = 0;
    int samples = 0;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    std::this_thread::sleep_for(100ms);  // 100 cycles at the period, from now
    while (Clock::now() < end) {
        sum += cur(p.f(13));
        ++samples;
        std::this_thread::sleep_for(50ms);
    }
    return {samples > 0 ? sum / samples : 0, cur(p.f(12))};
}

LoadFigures load(std::uint16_t port, int clients, double seconds) {
    std::atomic<bool> stop{false};
    std::vector<std::vector<double>> latencies(static_cast<std::size_t>(clients));
    std::atomic<long> failures{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i) {
        threads.emplace_back([&, i] {
            modbus_t* ctx = modbus_new_tcp("127.0.0.1", port);
            if (modbus_connect(ctx) != 0) {
                ++failures;
                modbus_free(ctx);
                return;
            }
            std::uint16_t regs[100];
            auto& mine = latencies[static_cast<std::size_t>(i)];
            while (!stop) {
                const auto start = Clock::now();
                if (modbus_read_registers(ctx, 0, 100, regs) != 100) ++failures;
                mine.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            }
            modbus_close(ctx);
            modbus_free(ctx);
        });
    }
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& t : threads) t.join();
    std::vector<double> all;
    for (const auto& l : latencies) all.insert(all.end(), l.begin(), l.end());
    LoadFigures f;
    f.per_second = static_cast<double>(all.size()) / seconds;
    f.p50 = percentile(all, 0.50);
    f.p99 = percentile(all, 0.99);
    f.max = all.empty() ? 0 : all.back();
    f.failures = failures;
    return f;
}

void print_cycles(const char* what, const CycleFigures& c) {
    std::printf("  %-34s cycle duration mean %8.1f us, max %8.0f us\n", what, c.mean, c.max);
}

void print_load(const char* what, const LoadFigures& f) {
    std::printf("  %-34s %8.0f requests/s, p50 %6.0f us, p99 %6.0f us, max %7.0f us, %ld failed\n", what, f.per_second,
                f.p50, f.p99, f.max, f.failures);
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string a = argv[i];
        if (a == "--program") o.program = argv[i + 1];
        else if (a == "--vxctl") o.vxctl = argv[i + 1];
        else if (a == "--seconds") o.seconds = std::atof(argv[i + 1]);
        else if (a == "--period") o.period = static_cast<float>(std::atof(argv[i + 1]));
        else if (a == "--realtime") o.realtime = std::string(argv[i + 1]) == "1";
        else {
            std::fprintf(stderr, "usage: modbus_bench [--program PATH] [--vxctl PATH] [--seconds S] [--period US] [--realtime 1]\n");
            return 1;
        }
    }
    if (o.seconds <= 0 || !(o.period > 0)) {
        std::fprintf(stderr, "modbus_bench: --seconds and --period must be positive\n");
        return 1;
    }

    ProgramOptions po;
    po.executable = o.program;
    po.name = "tarvo";
    po.env["VX_SCHEDULE"] = "precise";
    if (o.realtime) po.env["VX_REALTIME"] = "1";
    Program program(po);
    program.start();
    if (!program.attach()) {
        std::fprintf(stderr, "modbus_bench: %s did not start\n", o.program.c_str());
        return 1;
    }
    program.set_period(o.period);
    program.set_status(RUN);

    vx::testing::TempDir dir;
    std::string map = "name,type,table,address,registers,access\n";
    for (int i = 0; i < 50; ++i) map += "I" + std::to_string(i) + ",int,holding_register," + std::to_string(2 * i) + ",2,r\n";
    vx::testing::write_file(dir.file("map.csv"), map);

    std::printf("modbus_bench: %s at a period of %.0f us (precise schedule%s), %.1f s a phase\n", o.program.c_str(),
                static_cast<double>(o.period), o.realtime ? ", real-time class asked" : "", o.seconds);
    const CycleFigures before = watch_cycles(program, o.seconds);

    const auto port = static_cast<std::uint16_t>(20000 + ::getpid() % 40000);
    std::vector<std::string> args{o.vxctl, "--block", program.block_name(), "--symbols", o.program + ".vars", "modbus",
                                  "--listen", "127.0.0.1:" + std::to_string(port), "--map", dir.file("map.csv")};
    std::vector<char*> av;
    for (auto& a : args) av.push_back(a.data());
    av.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, dir.file("server").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t server = -1;
    if (::posix_spawn(&server, o.vxctl.c_str(), &actions, nullptr, av.data(), environ) != 0) {
        std::fprintf(stderr, "modbus_bench: cannot start %s\n", o.vxctl.c_str());
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (!vx::testing::eventually([&] { return vx::testing::read_file(dir.file("server")).find("serving program") != std::string::npos; })) {
        std::fprintf(stderr, "modbus_bench: the server did not start:\n%s", vx::testing::read_file(dir.file("server")).c_str());
        ::kill(server, SIGTERM);
        ::waitpid(server, nullptr, 0);
        return 1;
    }

    CycleFigures during;
    std::thread watcher([&] { during = watch_cycles(program, o.seconds); });
    const LoadFigures sixteen = load(port, 16, o.seconds);
    watcher.join();
    const LoadFigures one = load(port, 1, o.seconds);
    ::kill(server, SIGTERM);
    ::waitpid(server, nullptr, 0);
    const CycleFigures after = watch_cycles(program, o.seconds);

    std::printf("reading 100 holding registers over loopback:\n");
    print_load("1 client", one);
    print_load("16 clients", sixteen);
    std::printf("the controller's cycles:\n");
    print_cycles("no server (before)", before);
    print_cycles("16 clients polling", during);
    print_cycles("no server (after)", after);

    program.set_status(END);
    program.detach();
    program.wait_exit();
    return 0;
}
