#include "vx/console/session.hpp"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "vx/lockstep.hpp"
#include "vx/platform/futex.hpp"
#include "vx/platform/system.hpp"
#include "vx_runtime.h"

namespace vx::console {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How often the console looks at the block while it waits for the program.
constexpr auto kPoll = 200us;

std::string counts_text(const std::array<std::int32_t, kCellTypes>& counts) {
    std::string text;
    for (const auto c : counts) text += (text.empty() ? "" : " ") + std::to_string(c);
    return text;
}

std::optional<std::string> read_link(const std::string& path) {
    std::error_code error;
    auto target = std::filesystem::read_symlink(path, error);
    if (error) return std::nullopt;
    std::string text = target.string();
    // An executable replaced by a rebuild while it runs reads as deleted.
    constexpr std::string_view kDeleted = " (deleted)";
    if (text.ends_with(kDeleted)) text.resize(text.size() - kDeleted.size());
    return text;
}

// A control cell, which every laid-out controller block holds; a block too
// small for it was not laid out by a controller program.
template <class Cell> Cell& control_cell(const BlockView& block, std::int32_t index) {
    Cell* cell = block.cell<Cell>(index);
    if (cell == nullptr)
        throw Failure(std::string(1, CellTraits<Cell>::letter) + std::to_string(index) +
                      " lies outside its area: the block is too small for a controller program");
    return *cell;
}

}  // namespace

std::string status_name(std::int32_t status) {
    if (const std::string_view name = cells::status_name(status); !name.empty()) return std::string(name);
    return "unknown (" + std::to_string(status) + ")";
}

Session::Session(const BlockView& block, std::optional<SymbolTable> symbols, std::string block_name)
    : block_(block), block_name_(std::move(block_name)), symbols_(std::move(symbols)) {
    if (symbols_) symbols_origin_ = "given";
    no_symbols_reason_ = "no symbol file was given";
}

Session Session::attach(const AttachOptions& options) {
    Session s;
    s.block_name_ = options.block;
    std::string error;
    s.shm_ = platform::SharedMemory::open(options.block, 0, platform::OpenMode::AttachOnly, error);
    if (!s.shm_.is_open()) throw Failure(error);
    s.mapped_ = s.shm_.size();
    auto* header = static_cast<MemoryHeader*>(s.shm_.address());
    if (s.mapped_ < sizeof(MemoryHeader))
        throw Failure("shared block \"" + options.block + "\" is too small to hold a header (" +
                      std::to_string(s.mapped_) + " bytes)");
    const auto layout = Layout::from_header(*header, s.mapped_);
    if (!layout)
        throw Failure("shared block \"" + options.block +
                      "\" is not laid out: no controller program has set up its areas (yet)");
    s.block_ = BlockView(header, *layout);

    if (options.symbols) {
        s.symbols_ = load_symbols(*options.symbols);
        s.symbols_origin_ = *options.symbols;
    } else {
        // The program's symbol file lies beside its executable.
        const std::int32_t pid = s.pid();
        const auto exe = pid > 0 ? read_link("/proc/" + std::to_string(pid) + "/exe") : std::nullopt;
        if (!exe) {
            s.no_symbols_reason_ = pid > 0 ? "the program (process " + std::to_string(pid) + ") is not running here"
                                           : "no program is running on the block";
        } else if (std::filesystem::exists(*exe + ".vars")) {
            s.symbols_ = load_symbols(*exe + ".vars");
            s.symbols_origin_ = *exe + ".vars";
        } else {
            s.no_symbols_reason_ = "there is no symbol file " + *exe + ".vars";
        }
    }
    if (s.symbols_) {
        s.check_symbols_match();
        s.lights_ = load_lights_view(view_file_for(s.symbols_origin_)).value_or(LightsView{});
    }
    std::string no_sync;
    s.sync_ = platform::SharedMemory::open_companion(options.block, kLockstepSuffix, 0, platform::OpenMode::AttachOnly, no_sync);
    return s;
}

void Session::wake() const {
    if (sync_.is_open() && sync_.size() >= sizeof(LockstepSync))
        platform::futex_wake(&static_cast<LockstepSync*>(sync_.address())->grant);
}

void Session::check_symbols_match() const {
    const auto& counts = block_.layout().count;
    if (symbols_->counts != counts)
        throw Failure("the symbol file " + symbols_origin_ + " (program " + symbols_->program + ", cell counts " +
                      counts_text(symbols_->counts) + ") does not match shared block \"" + block_name_ +
                      "\" (cell counts " + counts_text(counts) + ")");
}

const SymbolTable& Session::require_symbols() const {
    if (!symbols_)
        throw Failure("variables cannot be named: " + no_symbols_reason_ +
                      "; give one with --symbols FILE, or name cells as B5, I523, F10, C3");
    return *symbols_;
}

VarRef Session::resolve(std::string_view text) const {
    if (symbols_) {
        if (const Symbol* s = symbols_->find(text)) return VarRef{s->type, s->index, s->name};
    }
    if (const auto raw = raw_cell(text, block_.layout().count)) return named(raw->type, raw->index);
    std::string message = "unknown variable '" + std::string(text) + "'";
    if (!symbols_) throw Failure(message + ": " + no_symbols_reason_ + "; name cells as B5, I523, F10, C3 or give --symbols FILE");
    const auto close = symbols_->close_names(text);
    if (!close.empty()) {
        message += " (did you mean ";
        for (std::size_t i = 0; i < close.size(); ++i) message += (i ? ", " : "") + close[i];
        message += "?)";
    }
    throw Failure(message + " in program " + symbols_->program);
}

VarRef Session::named(CellType type, std::int32_t index) const {
    VarRef ref{type, index, {}};
    if (symbols_) {
        if (const Symbol* s = symbols_->at(type, index)) ref.name = s->name;
    }
    if (ref.name.empty()) ref.name = ref.raw();
    return ref;
}

IntCell& Session::int_cell(std::int32_t index) const { return control_cell<IntCell>(block_, index); }
FloatCell& Session::float_cell(std::int32_t index) const { return control_cell<FloatCell>(block_, index); }
BoolCell& Session::bool_cell(std::int32_t index) const { return control_cell<BoolCell>(block_, index); }

std::int32_t Session::pid_index() const {
    if (symbols_) {
        if (const Symbol* s = symbols_->find("pospid")) return s->index;
    }
    return block_.count(CellType::Int) - 3;
}

std::int32_t Session::counter_index() const {
    if (symbols_) {
        if (const Symbol* s = symbols_->find("posmxsimucounter")) return s->index;
    }
    return block_.count(CellType::Int) - 2;
}

bool Session::alive() const {
    const std::int32_t p = pid();
    return p > 0 && platform::process_exists(p);
}

std::string Session::task_name() const {
    // Characters after the string's header cells, up to the capacity (50) or
    // a character 0.
    constexpr std::int32_t first = cells::taskname + kArrayHeaderCells<CharCell>;
    std::string name;
    for (std::int32_t i = first; i < first + VX_TASKNAME_CAPACITY; ++i) {
        const CharCell* c = block_.cell<CharCell>(i);
        if (c == nullptr || cur(*c) == 0) break;
        name += static_cast<char>(cur(*c));
    }
    return name;
}

std::optional<std::string> Session::program_argv0() const {
    if (!alive()) return std::nullopt;
    const std::string proc = "/proc/" + std::to_string(pid());
    std::ifstream in(proc + "/cmdline", std::ios::binary);
    std::string argv0;
    if (!in || !std::getline(in, argv0, '\0') || argv0.empty()) return std::nullopt;
    if (argv0.front() == '/') return argv0;
    const auto cwd = read_link(proc + "/cwd");
    if (!cwd) return std::nullopt;
    return (std::filesystem::path(*cwd) / argv0).lexically_normal().string();
}

std::chrono::milliseconds Session::answer_timeout() const {
    const float p = period();
    const double periods = std::isfinite(p) && p > 0 ? 20.0 * p / 1000.0 : 0.0;
    return std::chrono::milliseconds(static_cast<long long>(std::clamp(periods, 3000.0, 3600000.0)));
}

bool Session::step_once() const {
    if (!alive()) throw Failure("the program on shared block \"" + block_name_ + "\" is not running");
    const std::int32_t before = counter();
    const auto written = Clock::now();
    const auto deadline = written + answer_timeout();
    set_status(STEP);
    wake();
    int held_seen = 0;
    for (;;) {
        const std::int32_t s = status();
        if (counter() != before && s != STEP) return true;
        // A breakpoint holds the program inside the cycle: the step ends
        // there, once the hold has outlasted the executive's 10 ms poll.
        const bool held = s == PAUSE && cur(int_cell(cells::bpcurrentinstance)) != 0 && Clock::now() - written > 30ms;
        held_seen = held ? held_seen + 1 : 0;
        if (held_seen > 50) return false;
        if (Clock::now() > deadline) {
            if (!alive()) throw Failure("the program on shared block \"" + block_name_ + "\" ended during the step");
            throw Failure("the program did not complete a cycle within " +
                          std::to_string(answer_timeout().count() / 1000) + " s (status " + status_name(s) + ")");
        }
        if ((counter() == before) && !alive())
            throw Failure("the program on shared block \"" + block_name_ + "\" ended during the step");
        std::this_thread::sleep_for(kPoll);
    }
}

void Session::stop_and_settle() const {
    if (status() == STOP) return;
    set_status(STOP);
    // The cycle under way finishes; the program is settled once the counter
    // has stood still for two periods (and the 10 ms stop poll).
    const float p = period();
    const auto quiet = std::chrono::microseconds(
        static_cast<long long>(std::clamp(std::isfinite(p) ? 2.0 * p : 0.0, 30000.0, 60e6)));
    const auto deadline = Clock::now() + answer_timeout();
    std::int32_t last = counter();
    auto since = Clock::now();
    while (Clock::now() - since < quiet) {
        if (Clock::now() > deadline) throw Failure("the program does not stop");
        std::this_thread::sleep_for(1ms);
        if (counter() != last) {
            last = counter();
            since = Clock::now();
        }
    }
}

}  // namespace vx::console
