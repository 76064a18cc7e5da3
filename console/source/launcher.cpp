#include "vx/console/launcher.hpp"

#include <atomic>
#include <csignal>
#include <thread>

#include "vx/lockstep.hpp"
#include "vx/platform/futex.hpp"
#include "vx/platform/system.hpp"

namespace vx::console {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// How long a program is given to end after END before it is killed.
constexpr auto kEndLimit = 1s;

std::string private_block_name() {
    static std::atomic<int> serial{0};
    return "vxsim" + std::to_string(platform::process_id()) + "_" + std::to_string(serial++);
}

std::string exit_text(int status) {
    if (status > 128) return "killed by signal " + std::to_string(status - 128);
    if (status == 255) return "exit status 255: the block could not be opened";
    if (status == 1) return "exit status 1: the block is too small for it";
    return "exit status " + std::to_string(status);
}

// Opens an object to leave it at once: the last participant to leave
// removes the name, so a name that only the ended program held goes.
void remove_if_unheld(const std::string& block, const char* suffix) {
    std::string ignored;
    if (suffix == nullptr) {
        platform::SharedMemory::open(block, 0, platform::OpenMode::AttachOnly, ignored);
    } else {
        platform::SharedMemory::open_companion(block, suffix, 0, platform::OpenMode::AttachOnly, ignored);
    }
}

}  // namespace

LaunchedProgram LaunchedProgram::start(const std::string& path, std::chrono::milliseconds startup_limit) {
    const std::string block = private_block_name();
    std::string error;
    auto child = platform::ChildProcess::spawn(path, {{"VX_MEMORY_NAME", block}, {"VX_SCHEDULE", "lockstep"}}, error);
    if (!child) throw Failure(error);
    LaunchedProgram program(path, block, std::move(*child));
    const auto deadline = Clock::now() + startup_limit;
    // Started up once its process id and signature are published and its
    // sync object is set up.
    for (;;) {
        if (const auto status = program.child_.exit_status())
            throw Failure("program " + path + " ended during its start-up (" + exit_text(*status) + ")");
        std::string ignored;
        auto sync = platform::SharedMemory::open_companion(block, kLockstepSuffix, 0, platform::OpenMode::AttachOnly, ignored);
        if (sync.is_open() && sync.size() >= sizeof(LockstepSync)) {
            const auto* s = static_cast<const LockstepSync*>(sync.address());
            if (std::atomic_ref<const std::uint32_t>(s->magic).load() == kLockstepMagic) {
                try {
                    const Session session = program.attach(std::nullopt);
                    if (session.pid() == program.child_.pid() && cur(session.int_cell(cells::signature)) != 0) return program;
                } catch (const Failure&) {
                    // not laid out yet
                }
            }
        }
        if (Clock::now() > deadline) throw Failure("program " + path + " did not finish its start-up in time");
        std::this_thread::sleep_for(1ms);
    }
}

LaunchedProgram::~LaunchedProgram() { end(); }

Session LaunchedProgram::attach(const std::optional<std::string>& symbols) const {
    AttachOptions options;
    options.block = block_;
    options.symbols = symbols;
    return Session::attach(options);
}

void LaunchedProgram::end() {
    if (ended_ || child_.pid() <= 0) return;
    ended_ = true;
    if (child_.running()) {
        try {
            const Session session = attach(std::nullopt);
            session.set_status(END);
        } catch (const Failure&) {
            // Its block is not laid out: a signal ends it as END does.
            child_.send_signal(SIGTERM);
        }
        // Whatever it waits for, the wake-up makes it look at its status.
        std::string ignored;
        auto sync = platform::SharedMemory::open_companion(block_, kLockstepSuffix, 0, platform::OpenMode::AttachOnly, ignored);
        if (sync.is_open() && sync.size() >= sizeof(LockstepSync))
            platform::futex_wake(&static_cast<LockstepSync*>(sync.address())->grant);
    }
    if (!child_.wait_for(std::chrono::duration_cast<std::chrono::milliseconds>(kEndLimit))) {
        child_.send_signal(SIGKILL);
        child_.wait_for(kEndLimit);
    }
    remove_if_unheld(block_, kLockstepSuffix);
    remove_if_unheld(block_, nullptr);
}

}  // namespace vx::console
