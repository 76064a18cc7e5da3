#include "vx/console/lockstep_link.hpp"

#include <atomic>
#include <thread>

#include "vx/platform/futex.hpp"
#include "vx/platform/system.hpp"

namespace vx::console {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How often a waiting simulator looks at the program besides the wake-up.
constexpr std::uint64_t kSliceNanoseconds = 10000000;
// A breakpoint holds a cycle for good once it has outlasted the executive's
// 10 ms poll a few times.
constexpr auto kHeldAfter = 50ms;

template <class T> T load(T& word) { return std::atomic_ref<T>(word).load(std::memory_order_acquire); }

std::string how_to_start() {
    return "start it with VX_SCHEDULE=lockstep in its environment, or let sim start it: "
           "vxctl sim --fast --program PATH SCENARIO";
}

std::string program_name(const Session& s) {
    return s.symbols() != nullptr ? s.symbols()->program : s.task_name().empty() ? "the program" : s.task_name();
}

}  // namespace

LockstepLink::LockstepLink(const Session& session, platform::SharedMemory object)
    : session_(&session),
      object_(std::move(object)),
      sync_(static_cast<LockstepSync*>(object_.address())),
      program_(program_name(session)) {}

LockstepLink::LockstepLink(LockstepLink&& other) noexcept
    : session_(other.session_),
      object_(std::move(other.object_)),
      sync_(std::exchange(other.sync_, nullptr)),
      program_(std::move(other.program_)),
      running_(std::move(other.running_)) {}

LockstepLink::~LockstepLink() {
    if (sync_ == nullptr) return;
    std::int32_t me = platform::process_id();
    std::atomic_ref<std::int32_t>(sync_->simulatorPid).compare_exchange_strong(me, 0);
}

LockstepLink LockstepLink::attach(const Session& s) {
    if (!s.alive()) throw Failure("no program is running on shared block \"" + s.block_name() + "\"");
    const std::string who = "program " + program_name(s) + " (process " + std::to_string(s.pid()) + ") on block \"" +
                            s.block_name() + "\"";
    std::string error;
    auto object = platform::SharedMemory::open_companion(s.block_name(), kLockstepSuffix, 0,
                                                         platform::OpenMode::AttachOnly, error);
    if (!object.is_open() || object.size() < sizeof(LockstepSync))
        throw Failure(who + " was not started in lockstep mode; " + how_to_start());
    auto* sync = static_cast<LockstepSync*>(object.address());
    if (load(sync->magic) != kLockstepMagic || load(sync->version) != kLockstepVersion ||
        load(sync->programPid) != s.pid())
        throw Failure(who + " was not started in lockstep mode (the sync object beside its block is not its own); " +
                      how_to_start());
    // One simulator at a time: a second one would answer the first's grants.
    const std::int32_t me = platform::process_id();
    for (;;) {
        std::int32_t holder = load(sync->simulatorPid);
        if (holder == me) break;
        if (holder != 0 && platform::process_exists(holder))
            throw Failure(who + " is already driven by the simulator with process id " + std::to_string(holder));
        if (std::atomic_ref<std::int32_t>(sync->simulatorPid).compare_exchange_strong(holder, me)) break;
    }
    return LockstepLink(s, std::move(object));
}

bool LockstepLink::program_alive() const {
    if (running_ && !running_()) return false;
    return load(sync_->programPid) == session_->pid() && session_->alive();
}

void LockstepLink::wake() const { platform::futex_wake(&sync_->grant); }

void LockstepLink::stop(std::chrono::milliseconds bound) const {
    const IntCell& status = session_->int_cell(cells::execstatus);
    if (session_->status() == STOP && prev(status) == STOP) return;
    session_->set_status(STOP);
    wake();
    // Taken once the program has reported STOP: it is then waiting in STOP,
    // between cycles.
    const auto deadline = Clock::now() + bound;
    while (prev(status) != STOP || session_->status() != STOP) {
        if (!program_alive()) throw Failure("program " + program_ + " ended while it was being stopped");
        if (Clock::now() > deadline) throw Failure("program " + program_ + " does not stop");
        std::this_thread::sleep_for(100us);
    }
}

bool LockstepLink::cycle(const volatile std::sig_atomic_t& interrupted, std::chrono::milliseconds bound) {
    const std::int32_t cycle = session_->counter();
    // The grant comes first: leaving STOP runs a cycle at once, and that
    // cycle must answer it.
    const std::uint32_t granted = std::atomic_ref<std::uint32_t>(sync_->grant).fetch_add(1) + 1;
    const std::int32_t status = session_->status();
    if (status != RUN) session_->set_status(RUN);
    wake();
    const auto start = Clock::now();
    for (;;) {
        const std::uint32_t done = load(sync_->done);
        if (done == granted) return true;
        platform::futex_wait(&sync_->done, done, kSliceNanoseconds);
        if (load(sync_->done) == granted) return true;
        if (interrupted) return false;
        const auto waited = Clock::now() - start;
        if (!program_alive())
            throw Failure("program " + program_ + " ended during cycle " + std::to_string(cycle));
        if (session_->status() == PAUSE && cur(session_->int_cell(cells::bpcurrentinstance)) != 0 && waited > kHeldAfter)
            throw Failure("program " + program_ + " is held at a breakpoint (location " +
                          std::to_string(cur(session_->int_cell(cells::bpcurrentlocation))) + ") in cycle " +
                          std::to_string(cycle) + "; the scenario cannot go on");
        if (waited > bound) {
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%g", std::chrono::duration<double>(bound).count());
            throw Failure("program " + program_ + " did not finish cycle " + std::to_string(cycle) + " within " +
                          seconds + " s (status " + status_name(session_->status()) +
                          "): it hangs, was stopped, or is held by a debugger");
        }
    }
}

}  // namespace vx::console
