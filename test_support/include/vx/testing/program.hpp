// Process tests: start a real controller program on a private block name and
// drive it through its block, the way the simulator and the debugger do.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "vx/block.hpp"
#include "vx/lockstep.hpp"
#include "vx/platform/shared_memory.hpp"

namespace vx::testing {

using namespace std::chrono_literals;

// A private directory, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& text);

// A block name that no other test and no simulator uses.
std::string unique_block_name();

// Polls `condition` every millisecond until it holds or `timeout` passes.
bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s);

struct ProgramOptions {
    std::string executable;                      // the program to run
    std::string name = "ctl";                    // argv[0] is <dir>/<name>
    std::map<std::string, std::string> env;      // besides VX_MEMORY_NAME
    std::optional<std::string> block_name;       // default: a unique one
    std::vector<std::string> args;               // arguments after argv[0]
};

class Program {
public:
    explicit Program(ProgramOptions options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    const std::string& block_name() const { return block_name_; }
    const std::string& dir() const { return dir_.path(); }
    std::string argv0() const { return dir_.file(options_.name); }
    std::string trace_file() const { return argv0() + ".trc"; }
    std::string params_file() const { return argv0() + "_params.txt"; }
    int pid() const { return pid_; }

    // Starts the program (a parameters file, if wanted, is written before).
    void start();

    // Attaches to the block once the program has finished its start-up (its
    // process id and its signature are published); false after `timeout`.
    bool attach(std::chrono::milliseconds timeout = 10s);
    void detach();
    const BlockView& block() const { return view_; }

    // Waits for the program to end; its exit status, or none after `timeout`
    // (the program is then killed).
    std::optional<int> wait_exit(std::chrono::milliseconds timeout = 10s);
    bool running() const { return pid_ > 0 && !exit_status_; }

    std::string out() const;  // standard output so far
    std::string err() const;  // standard error so far

    // Cell helpers (the index must lie in its area).
    BoolCell& b(std::int32_t index) const;
    IntCell& i(std::int32_t index) const;
    FloatCell& f(std::int32_t index) const;
    CharCell& c(std::int32_t index) const;

    std::int32_t status() const { return cur(i(311)); }
    void set_status(std::int32_t s) const { set_cur(i(311), s); }
    std::int32_t counter() const;  // the cycle counter (maxInt - 2)

    // Writes STEP and waits until the cycle has run and the program is back
    // in STOP and has reported it. A program in lockstep mode is woken, so
    // that it takes the step at once instead of at its next 10 ms poll.
    bool step(std::chrono::milliseconds timeout = 10s) const;

    // The sync object of a program started with VX_SCHEDULE=lockstep, as
    // attach found it; null otherwise.
    LockstepSync* sync() const { return sync_; }
    // Wakes a lockstep program waiting in STOP or for a grant.
    void wake() const;

    // Sets the period (float cell 10, cur and prev).
    void set_period(float microseconds) const;

private:
    ProgramOptions options_;
    TempDir dir_;
    std::string block_name_;
    int pid_ = -1;
    std::optional<int> exit_status_;
    platform::SharedMemory shm_;
    BlockView view_;
    platform::SharedMemory sync_object_;
    LockstepSync* sync_ = nullptr;
};

}  // namespace vx::testing
