#include "vx/console/monitor.hpp"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <sstream>

#include "vx/console/commands.hpp"
#include "vx/console/lights.hpp"
#include "vx/console/plant.hpp"

namespace vx::console {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;

void on_interrupt(int) { g_interrupted = 1; }

std::string fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

const Symbol* timer_of(const SymbolTable& table, const std::string& step_name) {
    // X_<n> has the timer TIMER_<n>, when the step's time is used anywhere.
    return table.find("TIMER_" + step_name.substr(2));
}

std::string variable_row(const Session& s, const std::vector<const Symbol*>& symbols, bool numbered) {
    std::string row;
    int number = 0;
    for (const Symbol* sym : symbols) {
        const CellState state = read_cell(s.block(), VarRef{sym->type, sym->index, sym->name});
        if (!row.empty()) row += "  ";
        if (numbered && ++number <= 9) row += std::to_string(number) + ":";
        row += sym->name + "=" + format_value(state.cur) + (state.forced ? "*" : "");
    }
    return row.empty() ? "none" : row;
}

std::string active_steps(const Session& s, const SymbolTable& table) {
    std::string row;
    const double period = s.period();
    for (const Symbol* step : table.with_role(Role::Step)) {
        const BoolCell* cell = s.block().cell<BoolCell>(step->index);
        if (cell == nullptr || !cur(*cell)) continue;
        if (!row.empty()) row += "  ";
        row += step->name;
        if (const Symbol* timer = timer_of(table, step->name)) {
            if (const IntCell* t = s.block().cell<IntCell>(timer->index)) {
                const double seconds = static_cast<std::uint32_t>(cur(*t)) * period / 1e6;
                row += " (" + fixed(seconds, 2) + " s)";
            }
        }
    }
    return row.empty() ? "none" : row;
}

// The outputs of the function blocks, a TIME (NAME.days and NAME.ticks) as
// one value in seconds; empty when the program has no blocks.
std::string block_outputs(const Session& s, const SymbolTable& table) {
    std::string row;
    for (const Symbol* sym : table.with_role(Role::Block)) {
        std::string text = sym->name + "=";
        const auto dot = sym->name.rfind('.');
        const auto time = dot == std::string::npos ? std::nullopt : table.time_named(sym->name.substr(0, dot));
        if (time) {
            // Shown once, in the place of its days.
            if (time->days != sym) continue;
            const IntCell* days = s.block().cell<IntCell>(time->days->index);
            const IntCell* ticks = s.block().cell<IntCell>(time->ticks->index);
            if (days == nullptr || ticks == nullptr) continue;
            const auto seconds = static_cast<double>(time_ticks(cur(*days), cur(*ticks))) / kTicksPerSecond;
            text = sym->name.substr(0, dot) + "=" + fixed(seconds, 2) + " s";
        } else {
            const CellState state = read_cell(s.block(), VarRef{sym->type, sym->index, sym->name});
            text += format_value(state.cur) + (state.forced ? "*" : "");
        }
        row += (row.empty() ? "" : "  ") + text;
    }
    return row;
}

class RawTerminal {
public:
    RawTerminal() {
        if (::tcgetattr(STDIN_FILENO, &saved_) != 0) return;
        termios raw = saved_;
        raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
        raw.c_cc[VMIN] = 0;
        raw.c_cc[VTIME] = 0;
        active_ = ::tcsetattr(STDIN_FILENO, TCSANOW, &raw) == 0;
        std::fputs("\x1b[?1049h\x1b[?25l", stdout);  // own screen, no cursor
    }
    ~RawTerminal() {
        std::fputs("\x1b[?25h\x1b[?1049l", stdout);
        std::fflush(stdout);
        if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
    }
    RawTerminal(const RawTerminal&) = delete;
    RawTerminal& operator=(const RawTerminal&) = delete;

private:
    termios saved_{};
    bool active_ = false;
};

// Plant time from the first recorded cycle, for the recording.
struct RecordingClock {
    Recorder* recorder = nullptr;
    std::int32_t first_cycle = 0;
    double period = 0.0;  // microseconds, as the recording's period line says
    double at(const Session& s) const { return static_cast<double>(s.counter() - first_cycle) * period / 1e6; }
};

// Acts on one key; returns false to quit.
bool on_key(const Session& s, char key, std::string& message, const RecordingClock& clock) {
    try {
        switch (key) {
            case 'q': return false;
            case 'r': s.set_status(RUN); message = "run"; break;
            case 's': s.set_status(STOP); message = "stop"; break;
            case 'n':
            case ' ':
                message = s.step_once() ? "stepped to cycle " + std::to_string(s.counter()) : "held at a breakpoint";
                break;
            default:
                if (key >= '1' && key <= '9' && s.symbols()) {
                    const auto inputs = s.symbols()->with_role(Role::Input);
                    const auto k = static_cast<std::size_t>(key - '1');
                    if (k < inputs.size()) {
                        const VarRef ref{inputs[k]->type, inputs[k]->index, inputs[k]->name};
                        const Value now = read_cur(s.block(), ref);
                        if (is_forced(s.block(), ref)) {
                            message = ref.name + " is forced; unforce it first";
                        } else if (std::holds_alternative<bool>(now)) {
                            write_cur(s.block(), ref, Value(!std::get<bool>(now)));
                            if (clock.recorder != nullptr) clock.recorder->applied(clock.at(s), ref.name, Value(!std::get<bool>(now)));
                            message = ref.name + " toggled";
                        }
                    }
                }
        }
    } catch (const Failure& e) {
        message = e.what();
    }
    return true;
}

}  // namespace

std::string render_frame(const Session& s, const FrameOptions& options) {
    std::ostringstream out;
    const SymbolTable* table = s.symbols();
    const std::int32_t pid = s.pid();
    out << (table ? table->program : s.task_name()) << " on block " << s.block_name() << ", process " << pid
        << (pid != 0 && s.alive() ? " (alive)" : " (not running)") << "\n";
    auto f = [&](std::int32_t index) { return static_cast<double>(cur(s.float_cell(index))); };
    out << "status " << status_name(s.status()) << "  cycle " << s.counter() << "  period "
        << fixed(f(cells::simuperiod), 0) << " us (mean " << fixed(f(cells::realsimuperiod), 0) << ", min "
        << fixed(f(cells::minsimuperiod), 0) << ", max " << fixed(f(cells::maxsimuperiod), 0) << ")\n";
    const auto forced = forced_variables(s);
    out << "changes per cycle: mean " << fixed(f(cells::mxmeanvariablemodification), 2) << ", min "
        << fixed(f(cells::mxminvariablemodification), 0) << ", max "
        << fixed(f(cells::mxmaxvariablemodification), 0) << "  trace "
        << (cur(s.bool_cell(cells::traceon)) ? "on" : "off") << "  forced " << forced.size() << "\n";
    if (table == nullptr) {
        out << "(no symbol file: inputs, outputs and steps cannot be named)\n";
    } else {
        out << "inputs   " << variable_row(s, table->with_role(Role::Input), options.keys) << "\n";
        out << "outputs  " << variable_row(s, table->with_role(Role::Output), false) << "\n";
        out << "steps    " << active_steps(s, *table) << "\n";
        const std::string lights = draw_lights(s, options.colour);
        if (!lights.empty()) out << "lights   " << lights << "\n";
        const std::string blocks = block_outputs(s, *table);
        if (!blocks.empty()) out << "blocks   " << blocks << "\n";
        out << draw_plant(s, options.width);
        if (!forced.empty()) out << "(* forced)\n";
    }
    if (options.keys) out << "keys: r run  s stop  n step  1-9 toggle input  q quit\n";
    return out.str();
}

int terminal_width() {
    winsize size{};
    if (::isatty(STDOUT_FILENO) && ::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void run_monitor(const Session& s, std::chrono::milliseconds interval, bool colour, Recorder* recorder) {
    if (!::isatty(STDIN_FILENO) || !::isatty(STDOUT_FILENO))
        throw Failure("the live monitor needs a terminal; 'monitor --once' prints one frame");
    RecordingClock clock{recorder, s.counter(), static_cast<double>(s.period())};
    if (recorder != nullptr) recorder->begin(s, "monitor on block " + s.block_name(), {});
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);

    RawTerminal terminal;
    std::string message;
    for (bool going = true; going && !g_interrupted;) {
        std::string frame = render_frame(s, {colour, true, terminal_width()});
        std::string screen = "\x1b[H";
        std::size_t start = 0;
        for (std::size_t end; (end = frame.find('\n', start)) != std::string::npos; start = end + 1)
            screen += frame.substr(start, end - start) + "\x1b[K\r\n";
        screen += message + "\x1b[K\x1b[J";
        std::fputs(screen.c_str(), stdout);
        std::fflush(stdout);

        pollfd in{STDIN_FILENO, POLLIN, 0};
        if (::poll(&in, 1, static_cast<int>(interval.count())) > 0) {
            char keys[16];
            const ssize_t n = ::read(STDIN_FILENO, keys, sizeof keys);
            for (ssize_t i = 0; i < n && going; ++i) going = on_key(s, keys[i], message, clock);
        }
    }
    if (recorder != nullptr) recorder->finish(clock.at(s));
}

}  // namespace vx::console
