#include "vx/console/simulator.hpp"

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <ostream>
#include <random>
#include <type_traits>

#include "vx/console/commands.hpp"
#include "vx/console/condition.hpp"
#include "vx/console/lights.hpp"
#include "vx/console/lockstep_link.hpp"
#include "vx/console/waveform.hpp"
#include "vx/platform/system.hpp"

namespace vx::console {
namespace {

volatile std::sig_atomic_t g_interrupted = 0;
void on_interrupt(int) { g_interrupted = 1; }

// Times compare with a margin far below any period, so that a change at
// 1 s lands in the cycle that starts at 1 s despite rounding of the sum.
constexpr double kEpsilon = 1e-9;

struct Change {
    double at;
    std::vector<std::pair<VarRef, Value>> assignments;
};

// Writes an input as the plant does, except while the debugger forces it:
// the controller never posts an input, so the write would lose the forced
// value. Describes what it did in `what`.
// What was written goes into the recording, if there is one, as applied
// before the cycle at plant time `t`.
struct Played {
    Recorder* recorder;
    double t;
};

void play_input(const BlockView& block, const VarRef& ref, const Value& value, const std::string& note, std::string& what,
                const Played& played) {
    what += (what.empty() ? "" : " ") + ref.name + "=" + format_value(value) + note;
    if (is_forced(block, ref)) {
        what += " (forced, kept " + format_value(read_cur(block, ref)) + ")";
        return;
    }
    write_cur(block, ref, value);
    if (played.recorder != nullptr) played.recorder->applied(played.t, ref.name, value);
}

// Arrivals with exponential intervals. The engine is fully specified, and
// the interval is computed here rather than by a library distribution, so a
// seed gives the same arrivals on every machine.
class ArrivalStream {
public:
    ArrivalStream(VarRef input, double mean, double hold, std::optional<Condition> until, std::uint64_t seed)
        : input_(std::move(input)), mean_(mean), hold_(hold), until_(std::move(until)), engine_(seed) {
        next_ = draw();
    }

    // Applies arrivals and releases due at time `t`; describes them in `what`.
    void play(const BlockView& block, double t, std::string& what, const Played& played) {
        const bool engaged = held_;
        if (held_ && (until_ ? until_->evaluate(block) : t + kEpsilon >= release_at_)) {
            held_ = false;
        }
        while (next_ <= t + kEpsilon) {
            held_ = true;
            release_at_ = std::max(release_at_, next_ + hold_);
            next_ += draw();
        }
        if (held_ != engaged) play_input(block, input_, Value(held_), held_ ? " (arrival)" : " (gone)", what, played);
    }

private:
    double draw() {
        const double u = static_cast<double>(engine_() >> 11) * 0x1.0p-53;  // [0, 1)
        return -mean_ * std::log1p(-u);
    }

    VarRef input_;
    double mean_;
    double hold_;
    std::optional<Condition> until_;
    std::mt19937_64 engine_;
    double next_ = 0.0;
    double release_at_ = 0.0;
    bool held_ = false;
};

struct Invariant {
    Condition condition;
    bool violated = false;         // in the last cycle
    std::int64_t violations = 0;   // cycles in which it did not hold
    std::int32_t first_cycle = 0;
};

struct Bound {
    std::vector<Change> changes;
    std::vector<ArrivalStream> arrivals;
    std::vector<Invariant> invariants;
    std::vector<VarRef> shown;
    double end = 0.0;
    std::uint64_t seed = 1;
};

// Binds every name, value and condition of the scenario; a failure names
// the scenario's line.
class Binder {
public:
    Binder(const Session& session, const Scenario& scenario) : session_(session), scenario_(scenario) {}

    Bound bind(const SimOptions& options) {
        const SymbolTable& symbols = session_.require_symbols();
        if (scenario_.program && *scenario_.program != symbols.program && !options.force)
            fail(scenario_.program_line, "the scenario is written for " + *scenario_.program + ", but block \"" +
                                             session_.block_name() + "\" runs " + symbols.program);
        if (scenario_.recorded && !options.force) check_recorded(symbols);
        Bound b;
        b.seed = options.seed.value_or(scenario_.seed.value_or(1));
        if (options.duration) {
            b.end = *options.duration;
        } else if (scenario_.end) {
            b.end = *scenario_.end;
        } else {
            throw Failure(scenario_.origin + ": the scenario has no 'end' line (or give --for)");
        }
        for (const auto& c : scenario_.changes) {
            Change bound{c.at, {}};
            for (const auto& [name, text] : c.assignments)
                bound.assignments.push_back(at_line(c.line, [&] { return parse_assignment(session_, name, text); }));
            b.changes.push_back(std::move(bound));
        }
        std::stable_sort(b.changes.begin(), b.changes.end(), [](const Change& x, const Change& y) { return x.at < y.at; });
        std::uint64_t stream = 0;
        for (const auto& a : scenario_.arrivals) {
            VarRef input = at_line(a.line, [&] { return session_.resolve(a.input); });
            if (input.type != CellType::Bool) fail(a.line, input.label() + " is not a bool input: arrivals set bool inputs");
            std::optional<Condition> until;
            if (!a.until.empty()) until = at_line(a.line, [&] { return Condition::compile(a.until, symbols); });
            // Each stream has its own engine, so adding one leaves the others.
            b.arrivals.emplace_back(std::move(input), a.mean, a.hold, std::move(until),
                                    b.seed + 0x9E3779B97F4A7C15ULL * ++stream);
        }
        for (const auto& i : scenario_.invariants)
            b.invariants.push_back({at_line(i.line, [&] { return Condition::compile(i.text, symbols); })});
        if (scenario_.show.empty()) {
            for (const Symbol* s : symbols.with_role(Role::Output)) b.shown.push_back(VarRef{s->type, s->index, s->name});
        } else {
            for (const auto& name : scenario_.show) b.shown.push_back(at_line(scenario_.show_line, [&] { return session_.resolve(name); }));
        }
        return b;
    }

private:
    // A recording replays exactly only against the program it was made
    // with: the same build of the same controller.
    void check_recorded(const SymbolTable& symbols) const {
        const Scenario::Recorded& r = *scenario_.recorded;
        const std::int32_t sig = cur(session_.int_cell(cells::signature));
        const std::int32_t gen = cur(session_.int_cell(cells::generationtime));
        const std::string layout = layout_fingerprint(symbols);
        if (r.signature == sig && r.generated == gen && r.layout == layout) return;
        fail(r.line, "the recording was made with program " + scenario_.program.value_or("?") + " (signature " +
                         std::to_string(r.signature) + ", generated " + std::to_string(r.generated) + ", layout " +
                         r.layout + "), but block \"" + session_.block_name() + "\" runs " + symbols.program +
                         " (signature " + std::to_string(sig) + ", generated " + std::to_string(gen) + ", layout " +
                         layout + "); it is not replayed (--force replays it anyway)");
    }

    [[noreturn]] void fail(int line, const std::string& what) const {
        throw Failure(scenario_.origin + ":" + std::to_string(line) + ": " + what);
    }
    template <class F> std::invoke_result_t<F> at_line(int line, F&& f) const {
        try {
            return f();
        } catch (const Failure& e) {
            fail(line, e.what());
        }
    }

    const Session& session_;
    const Scenario& scenario_;
};

std::string row(double t, const std::string& cycle, const std::string& text) {
    char head[64];
    std::snprintf(head, sizeof head, "%9.3f s %8s  ", t, cycle.c_str());
    return head + text + "\n";
}

std::vector<std::string> values_of(const Session& s, const std::vector<VarRef>& refs) {
    std::vector<std::string> values;
    for (const auto& r : refs) values.push_back(format_value(read_cur(s.block(), r)));
    return values;
}

// "name=value ..." for the variables whose value differs from `before`
// (all of them when `before` is empty).
std::string describe(const std::vector<VarRef>& refs, const std::vector<std::string>& now,
                     const std::vector<std::string>& before) {
    std::string text;
    for (std::size_t i = 0; i < refs.size(); ++i) {
        if (!before.empty() && before[i] == now[i]) continue;
        text += (text.empty() ? "" : " ") + refs[i].name + "=" + now[i];
    }
    return text;
}

double checked_period(const Session& s) {
    const double p = s.period();
    if (!std::isfinite(p) || p <= 0)
        throw Failure("the cycle period (float cell 10) reads " + format_value(Value(s.period())) +
                      " us; the scenario's clock needs a positive period");
    return p;
}

}  // namespace

int simulate(const Session& s, const Scenario& scenario, const SimOptions& options, std::ostream& out) {
    Bound b = Binder(s, scenario).bind(options);
    if (options.check_only) {
        out << scenario.origin << ": fits program " << s.require_symbols().program << "\n";
        return 0;
    }
    if (!s.alive()) throw Failure("no program is running on shared block \"" + s.block_name() + "\"");
    std::optional<LockstepLink> link;
    if (options.fast) {
        link.emplace(LockstepLink::attach(s));
        if (options.program_running) link->watch(options.program_running);
        link->stop(s.answer_timeout());
    } else {
        s.stop_and_settle();
    }
    if (scenario.period) set_start_value(s.float_cell(cells::simuperiod), static_cast<float>(*scenario.period));
    checked_period(s);
    if (options.recorder != nullptr) {
        std::vector<std::string> copied;
        for (const auto& inv : scenario.invariants) copied.push_back("invariant " + inv.text);
        if (!scenario.show.empty()) {
            std::string line = "show";
            for (const auto& name : scenario.show) line += " " + name;
            copied.push_back(line);
        }
        options.recorder->begin(s, std::string(options.fast ? "sim --fast" : "sim") + " from " + scenario.origin, copied);
    }

    g_interrupted = 0;
    struct sigaction action {}, saved_int {}, saved_term {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, &saved_int);
    ::sigaction(SIGTERM, &action, &saved_term);

    out << "scenario " << scenario.origin << ": program " << s.require_symbols().program << " on block "
        << s.block_name() << ", period " << format_value(Value(s.period())) << " us, seed " << b.seed << "\n";
    out << "     time    cycle  changes\n";
    // With lights, each row starts with the lights as they are after that
    // cycle, so the picture and the changes read together.
    auto lights = [&](bool colour) { return options.lights ? draw_lights(s, colour) : std::string(); };
    auto with_lights = [&](const std::string& text) {
        const std::string l = lights(options.colour);
        return l.empty() ? text : l + "   " + text;
    };
    auto shown = values_of(s, b.shown);
    out << row(0.0, "-", with_lights("start " + describe(b.shown, shown, {}))) << std::flush;
    std::string drawn = lights(false);

    // The waveform: the inputs and the shown variables at the start of every
    // cycle (after the scenario's inputs were applied), so an output
    // computed in a cycle appears one period later, as in the trace file.
    std::optional<WaveWriter> wave;
    std::vector<VarRef> waved;
    if (options.waveform != nullptr) {
        for (const Symbol* in : s.require_symbols().with_role(Role::Input)) waved.push_back(VarRef{in->type, in->index, in->name});
        for (const auto& ref : b.shown) {
            const bool known = std::any_of(waved.begin(), waved.end(),
                                           [&](const VarRef& w) { return w.type == ref.type && w.index == ref.index; });
            if (!known) waved.push_back(ref);
        }
        std::string date = platform::local_time_text();
        if (!date.empty() && date.back() == '\n') date.pop_back();
        wave.emplace(*options.waveform, WaveWriter::Format::Vcd, s.require_symbols().program, waved, s.period(), date);
    }
    auto wave_sample = [&](std::int64_t k) {
        if (!wave) return;
        std::vector<Value> values;
        for (const auto& ref : waved) values.push_back(read_cur(s.block(), ref));
        wave->sample(k, values);
    };

    double t = 0.0;
    std::size_t next_change = 0;
    std::int64_t cycles = 0;
    bool interrupted = false;
    const auto wall_start = std::chrono::steady_clock::now();
    while (t + kEpsilon < b.end) {
        if (g_interrupted) {
            interrupted = true;
            break;
        }
        std::string set;
        const Played played{options.recorder, t};
        for (; next_change < b.changes.size() && b.changes[next_change].at <= t + kEpsilon; ++next_change) {
            for (const auto& [ref, value] : b.changes[next_change].assignments)
                play_input(s.block(), ref, value, "", set, played);
        }
        for (auto& stream : b.arrivals) stream.play(s.block(), t, set, played);

        const double period = checked_period(s);
        wave_sample(cycles);
        const std::int32_t cycle = s.counter();
        const std::string cycle_text = std::to_string(cycle);
        if (!set.empty()) out << row(t, cycle_text, "set " + set);
        if (link) {
            if (!link->cycle(g_interrupted, options.cycle_limit)) {
                interrupted = true;
                break;
            }
        } else if (!s.step_once())
            throw Failure("the program is held at a breakpoint (location " +
                          std::to_string(cur(s.int_cell(cells::bpcurrentlocation))) + "); the scenario cannot go on");
        ++cycles;

        const auto now = values_of(s, b.shown);
        const std::string picture = lights(false);
        if (now != shown || picture != drawn) out << row(t, cycle_text, with_lights(describe(b.shown, now, shown)));
        shown = now;
        drawn = picture;
        for (auto& inv : b.invariants) {
            const bool holds = inv.condition.evaluate(s.block());
            if (!holds) {
                if (inv.violations++ == 0) inv.first_cycle = cycle;
                if (!inv.violated) out << row(t, cycle_text, "! invariant violated: " + inv.condition.text());
            }
            inv.violated = !holds;
        }
        out << std::flush;
        t += period / 1e6;
    }
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
    ::sigaction(SIGINT, &saved_int, nullptr);
    ::sigaction(SIGTERM, &saved_term, nullptr);
    if (link) link->stop(s.answer_timeout());
    if (options.recorder != nullptr) options.recorder->finish(t);
    if (wave) {
        wave_sample(cycles);
        wave->finish(cycles + 1);
        if (!*options.waveform) throw Failure("the waveform could not be written completely");
    }

    std::int64_t violated = 0;
    std::string summary = (interrupted ? "interrupted after " : "end after ") + std::to_string(cycles) + " cycles";
    for (const auto& inv : b.invariants) {
        if (inv.violations == 0) continue;
        ++violated;
        summary += "; invariant '" + inv.condition.text() + "' violated in " + std::to_string(inv.violations) +
                   " cycles, first in cycle " + std::to_string(inv.first_cycle);
    }
    if (violated == 0) summary += b.invariants.empty() ? "" : "; every invariant held";
    out << row(t, std::to_string(s.counter()), summary) << std::flush;
    if (link) {
        char figures[160];
        std::snprintf(figures, sizeof figures, "plant time %.3f s in %.3f s of wall time (%lld cycles, %.0f cycles/s)\n", t,
                      wall, static_cast<long long>(cycles), wall > 0 ? static_cast<double>(cycles) / wall : 0.0);
        out << figures << std::flush;
    }
    if (interrupted) return kInterrupted;
    return violated > 0 ? kInvariantViolated : 0;
}

}  // namespace vx::console
