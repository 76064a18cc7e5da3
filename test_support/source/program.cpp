#include "vx/testing/program.hpp"

#include "vx/testing/cells.hpp"
#include "vx/platform/futex.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

extern char** environ;

namespace vx::testing {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") + "/vxtest.XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
}

std::string unique_block_name() {
    static std::atomic<int> serial{0};
    return "vxt" + std::to_string(::getpid()) + "_" + std::to_string(serial++);
}

bool eventually(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

Program::Program(ProgramOptions options)
    : options_(std::move(options)), block_name_(options_.block_name.value_or(unique_block_name())) {}

Program::~Program() {
    if (running()) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    detach();
    // A program killed before it left, or one that left while another
    // participant (a vxctl the test ran) still held the block, leaves the
    // block behind. A name this fixture made up is nobody else's: remove it.
    // A name the test chose may still serve another program of the test.
    if (!options_.block_name) {
        platform::SharedMemory::remove(block_name_);
        platform::SharedMemory::remove(block_name_ + kLockstepSuffix);
        return;
    }
    std::string error;
    auto leftover = platform::SharedMemory::open(block_name_, 0, platform::OpenMode::AttachOnly, error);
    auto leftover_sync = platform::SharedMemory::open_companion(block_name_, kLockstepSuffix, 0,
                                                                platform::OpenMode::AttachOnly, error);
}

void Program::start() {
    std::vector<std::string> env_strings;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string entry(*e);
        const auto eq = entry.find('=');
        const std::string key = entry.substr(0, eq);
        if (key == "VX_MEMORY_NAME" || key == "VX_MEMORY_SIZE" || key == "VX_TIMEOUT" || options_.env.count(key)) continue;
        env_strings.push_back(entry);
    }
    env_strings.push_back("VX_MEMORY_NAME=" + block_name_);
    for (const auto& [key, value] : options_.env) env_strings.push_back(key + "=" + value);

    std::vector<std::string> arg_strings{argv0()};
    arg_strings.insert(arg_strings.end(), options_.args.begin(), options_.args.end());
    std::vector<char*> argv;
    for (auto& a : arg_strings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (auto& e : env_strings) envp.push_back(e.data());
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, dir_.file("stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, dir_.file("stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, options_.executable.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + options_.executable);
    pid_ = pid;
}

namespace {

// Whether the program has finished its start-up, read from the object's
// bytes without taking part in the block: a test that held the block before
// the program had opened it would keep the program from resetting a stale
// block, as a simulator holding it would.
bool started_up(const std::string& block_name, int pid) {
    const std::string path = "/dev/shm/" + block_name;
    std::error_code error;
    const auto size = std::filesystem::file_size(path, error);
    std::ifstream in(path, std::ios::binary);
    MemoryHeader header{};
    if (error || !in.read(reinterpret_cast<char*>(&header), sizeof header)) return false;
    const auto layout = Layout::from_header(header, static_cast<std::size_t>(size));
    if (!layout) return false;
    const auto int_cur = [&](std::int32_t index) -> std::optional<std::int32_t> {
        if (index < 0 || index >= layout->count[1]) return std::nullopt;
        IntCell cell{};
        in.seekg(static_cast<std::streamoff>(layout->offset[1] + std::uint64_t{sizeof cell} * static_cast<std::uint32_t>(index)));
        if (!in.read(reinterpret_cast<char*>(&cell), sizeof cell)) return std::nullopt;
        return cell.cur;
    };
    // The process id is published early in the start-up, the signature at
    // the head of the first loop pass: only then has the start-up written
    // everything it writes.
    const auto published_pid = int_cur(layout->count[1] - 3);  // maxInt - 3 with maxInt = memInt
    const auto signature = int_cur(521);
    return published_pid == pid && signature && *signature != 0;
}

}  // namespace

bool Program::attach(std::chrono::milliseconds timeout) {
    if (!eventually([this] { return started_up(block_name_, pid_); }, timeout)) return false;
    std::string error;
    shm_ = platform::SharedMemory::open(block_name_, 0, platform::OpenMode::AttachOnly, error);
    if (!shm_.is_open()) return false;
    auto* header = static_cast<MemoryHeader*>(shm_.address());
    const auto layout = Layout::from_header(*header, shm_.size());
    if (!layout) return false;
    view_ = BlockView(header, *layout);
    sync_object_ = platform::SharedMemory::open_companion(block_name_, kLockstepSuffix, 0,
                                                          platform::OpenMode::AttachOnly, error);
    sync_ = sync_object_.is_open() && sync_object_.size() >= sizeof(LockstepSync)
                ? static_cast<LockstepSync*>(sync_object_.address())
                : nullptr;
    return true;
}

void Program::detach() {
    view_ = BlockView();
    shm_ = platform::SharedMemory();
    sync_ = nullptr;
    sync_object_ = platform::SharedMemory();
}

void Program::wake() const {
    if (sync_ != nullptr) platform::futex_wake(&sync_->grant);
}

std::optional<int> Program::wait_exit(std::chrono::milliseconds timeout) {
    if (exit_status_) return exit_status_;
    if (pid_ <= 0) return std::nullopt;
    int status = 0;
    const bool ended = eventually([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, timeout);
    if (!ended) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        exit_status_ = -1;
        return std::nullopt;
    }
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return exit_status_;
}

std::string Program::out() const { return read_file(dir_.file("stdout")); }
std::string Program::err() const { return read_file(dir_.file("stderr")); }

BoolCell& Program::b(std::int32_t index) const { return existing_cell<BoolCell>(view_, index); }
IntCell& Program::i(std::int32_t index) const { return existing_cell<IntCell>(view_, index); }
FloatCell& Program::f(std::int32_t index) const { return existing_cell<FloatCell>(view_, index); }
CharCell& Program::c(std::int32_t index) const { return existing_cell<CharCell>(view_, index); }

std::int32_t Program::counter() const { return cur(i(view_.count(CellType::Int) - 2)); }

bool Program::step(std::chrono::milliseconds timeout) const {
    const std::int32_t before = counter();
    set_status(STEP);
    wake();
    // Back in STOP and noticed: the program has reported the change, so a
    // status written next is not mistaken for an overwrite of STEP.
    return eventually([&] { return counter() != before && status() == STOP && prev(i(311)) == STOP; }, timeout);
}

void Program::set_period(float microseconds) const { set_start_value(f(10), microseconds); }

}  // namespace vx::testing
