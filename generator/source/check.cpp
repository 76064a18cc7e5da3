// The exploration: breadth first from the state of a program started afresh,
// so that the first violation found is one that the fewest passes reach.
// States are packed into a few 64-bit words and kept in one arena; an
// open-addressing table of indexes into it finds the states already seen.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <sstream>

#include "vx/grafcet/check.hpp"

namespace vx::grafcet {
namespace {

std::string trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return std::string(s.substr(first, last - first + 1));
}

// The set of packed states; each state's index is its place in the arena.
class StateStore {
public:
    explicit StateStore(std::size_t words) : words_(std::max<std::size_t>(words, 1)), table_(1u << 12, 0) {}

    std::size_t size() const { return count_; }
    const std::uint64_t* at(std::size_t index) const { return arena_.data() + index * words_; }
    std::size_t bytes() const { return arena_.capacity() * 8 + table_.capacity() * 4; }

    // The index of `packed`, and whether it was new.
    std::pair<std::uint32_t, bool> insert(const std::uint64_t* packed) {
        if ((count_ + 1) * 2 > table_.size()) grow();
        std::size_t k = hash(packed) & (table_.size() - 1);
        while (table_[k] != 0) {
            const std::uint32_t index = table_[k] - 1;
            if (std::equal(packed, packed + words_, at(index))) return {index, false};
            k = (k + 1) & (table_.size() - 1);
        }
        arena_.insert(arena_.end(), packed, packed + words_);
        table_[k] = static_cast<std::uint32_t>(++count_);
        return {static_cast<std::uint32_t>(count_ - 1), true};
    }

private:
    std::uint64_t hash(const std::uint64_t* packed) const {
        std::uint64_t h = 0x9E3779B97F4A7C15ULL;
        for (std::size_t k = 0; k < words_; ++k) {
            h ^= packed[k] + 0x9E3779B97F4A7C15ULL + (h << 6) + (h >> 2);
            h *= 0xBF58476D1CE4E5B9ULL;
            h ^= h >> 31;
        }
        return h;
    }

    void grow() {
        std::vector<std::uint32_t> bigger(table_.size() * 2, 0);
        for (std::size_t index = 0; index < count_; ++index) {
            std::size_t k = hash(at(index)) & (bigger.size() - 1);
            while (bigger[k] != 0) k = (k + 1) & (bigger.size() - 1);
            bigger[k] = static_cast<std::uint32_t>(index + 1);
        }
        table_.swap(bigger);
    }

    std::size_t words_;
    std::size_t count_ = 0;
    std::vector<std::uint64_t> arena_;
    std::vector<std::uint32_t> table_;
};

class Packer {
public:
    explicit Packer(const PassModel& model) : model_(model) {
        std::size_t bits = 0;
        for (const auto& f : model.fields()) bits += f.bits;
        words_ = (bits + 63) / 64;
    }
    std::size_t words() const { return std::max<std::size_t>(words_, 1); }

    void pack(const PassModel::State& s, std::uint64_t* out) const {
        std::fill(out, out + words(), 0);
        std::size_t at = 0;
        for (const auto& f : model_.fields()) {
            const auto v = static_cast<std::uint64_t>(s[f.slot] - f.low);
            out[at / 64] |= v << (at % 64);
            if (at % 64 + f.bits > 64) out[at / 64 + 1] |= v >> (64 - at % 64);
            at += f.bits;
        }
    }

    void unpack(const std::uint64_t* in, PassModel::State& s) const {
        std::fill(s.begin(), s.end(), 0);
        std::size_t at = 0;
        for (const auto& f : model_.fields()) {
            std::uint64_t v = in[at / 64] >> (at % 64);
            if (at % 64 + f.bits > 64) v |= in[at / 64 + 1] << (64 - at % 64);
            if (f.bits < 64) v &= (std::uint64_t{1} << f.bits) - 1;
            s[f.slot] = static_cast<std::int64_t>(v) + f.low;
            at += f.bits;
        }
    }

private:
    const PassModel& model_;
    std::size_t words_ = 0;
};

// Every expression of the notation that an option holds, parsed; the error
// names the expression and the column.
std::optional<std::vector<Expression>> parse_all(const std::vector<std::string>& texts, std::string_view what,
                                                 std::string& error) {
    std::vector<Expression> out;
    for (const std::string& text : texts) {
        ParsedExpression parsed = parse_expression(text);
        if (!parsed.expression) {
            error = std::string(what) + " '" + text + "', column " + std::to_string(parsed.error.column) + ": " +
                    parsed.error.message;
            return std::nullopt;
        }
        out.push_back(std::move(*parsed.expression));
    }
    return out;
}

// Whether an expression reads an input or a plant cell (which the state
// then keeps from the pass that set it).
bool reads_input(const Expression& e, const Graph& g) {
    const auto input = [&](const std::string& name) {
        if (const auto dot = name.find('.'); dot != std::string::npos) return g.find_object(name.substr(0, dot)) != nullptr;
        const Variable* v = g.find_variable(name);
        return v != nullptr && v->direction == Direction::Input;
    };
    if ((e.kind == Expression::Kind::Variable || e.kind == Expression::Kind::Compare) &&
        (input(e.name) || (!e.other.empty() && input(e.other))))
        return true;
    return std::any_of(e.operands.begin(), e.operands.end(), [&](const Expression& o) { return reads_input(o, g); });
}

std::string describe_state(const PassModel& m, const PassModel::State& s) {
    const Graph& g = m.graph();
    std::string steps, outputs;
    for (const Probe& p : m.probes()) {
        if (p.type != CellType::Bool || s[p.slot] == 0 || p.name.ends_with("_PREV")) continue;
        std::string& list = p.name.starts_with("X_") ? steps : outputs;
        if (!p.name.starts_with("X_") && !g.find_variable(p.name)) continue;
        list += (list.empty() ? "" : " ") + p.name;
    }
    return "active steps: " + (steps.empty() ? "none" : steps) + "; outputs on: " + (outputs.empty() ? "none" : outputs);
}

std::string value_text(const FreeInput& in, std::int32_t index) {
    const double v = in.values[static_cast<std::size_t>(index)];
    char text[40];
    if (in.type == CellType::Float) std::snprintf(text, sizeof text, "%.9g", v);
    else std::snprintf(text, sizeof text, "%lld", static_cast<long long>(v));
    return text;
}

// Plant time in seconds, as short as it stays exact to the nanosecond.
std::string seconds_text(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.9f", seconds);
    std::string out = text;
    while (out.back() == '0') out.pop_back();
    if (out.back() == '.') out.pop_back();
    return out;
}

}  // namespace

std::vector<std::string> nearest_names(std::string_view name, const std::vector<std::string>& names, std::size_t count) {
    const auto distance = [](std::string_view a, std::string_view b) {
        std::vector<std::size_t> row(b.size() + 1);
        for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
        for (std::size_t i = 1; i <= a.size(); ++i) {
            std::size_t diagonal = row[0];
            row[0] = i;
            for (std::size_t j = 1; j <= b.size(); ++j) {
                const std::size_t above = row[j];
                row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
                diagonal = above;
            }
        }
        return row[b.size()];
    };
    std::vector<std::pair<std::size_t, std::string>> ranked;
    const std::size_t furthest = std::max<std::size_t>(3, name.size() / 2);
    for (const std::string& n : names)
        if (const std::size_t d = distance(name, n); d <= furthest) ranked.emplace_back(d, n);
    std::sort(ranked.begin(), ranked.end());
    std::vector<std::string> out;
    for (std::size_t k = 0; k < ranked.size() && k < count; ++k) out.push_back(ranked[k].second);
    return out;
}

std::vector<std::string> scenario_invariants(std::string_view text) {
    std::vector<std::string> out;
    std::istringstream in{std::string(text)};
    for (std::string line; std::getline(in, line);) {
        if (const auto hash = line.find('#'); hash != std::string::npos) line.resize(hash);
        const std::string t = trim(line);
        if (t.rfind("invariant", 0) != 0 || (t.size() > 9 && t[9] != ' ' && t[9] != '\t')) continue;
        if (const std::string condition = trim(std::string_view(t).substr(9)); !condition.empty()) out.push_back(condition);
    }
    return out;
}

CheckResult check(const Graph& graph, const CheckOptions& options) {
    CheckResult result;
    const auto fail = [&](std::string error) {
        result.outcome = CheckResult::Outcome::Error;
        result.error = std::move(error);
        return result;
    };
    if (!(options.period > 0) || !std::isfinite(options.period)) return fail("the period must be a positive duration");
    if (options.invariants.empty()) return fail("no invariant to check: give --invariant or --scenario");
    std::string error;
    auto invariants = parse_all(options.invariants, "invariant", error);
    if (!invariants) return fail(error);
    auto assumptions = parse_all(options.assumptions, "assumption", error);
    if (!assumptions) return fail(error);

    ModelOptions mo;
    mo.period = options.period;
    mo.free_plant = options.free_plant;
    mo.observed = *invariants;
    mo.observed.insert(mo.observed.end(), assumptions->begin(), assumptions->end());
    mo.keep_inputs = std::any_of(invariants->begin(), invariants->end(),
                                 [&](const Expression& e) { return reads_input(e, graph); });
    if (options.min_dwell > 0) {
        const double period = static_cast<double>(static_cast<float>(options.period));
        mo.dwell_passes = static_cast<std::int64_t>(std::ceil(options.min_dwell * 1e6 / period - 1e-9));
    }
    auto model = PassModel::build(graph, mo, error);
    if (!model) return fail(error);
    const PassModel& m = *model;

    std::vector<BoundExpression> bound_invariants, bound_assumptions;
    for (std::size_t k = 0; k < invariants->size(); ++k) {
        auto b = m.bind((*invariants)[k], error);
        if (!b) return fail("invariant '" + options.invariants[k] + "': " + error);
        bound_invariants.push_back(std::move(*b));
    }
    for (std::size_t k = 0; k < assumptions->size(); ++k) {
        auto b = m.bind((*assumptions)[k], error);
        if (!b) return fail("assumption '" + options.assumptions[k] + "': " + error);
        bound_assumptions.push_back(std::move(*b));
    }
    result.inputs = m.inputs();
    for (const FreeInput& in : m.inputs())
        if (in.plant)
            result.notes.push_back("free plant: " + in.name + " takes any of " + std::to_string(in.values.size()) +
                                   " classes of values at every pass (behaviour code writes it)");

    // Every choice of the inputs, as one number in mixed radix.
    std::uint64_t choices = 1;
    for (const FreeInput& in : m.inputs()) {
        choices *= in.values.size();
        if (choices > (1u << 20)) return fail("too many combinations of inputs to explore at every pass (more than 2^20)");
    }
    std::vector<std::vector<std::int32_t>> choice_of(choices);
    for (std::uint64_t c = 0; c < choices; ++c) {
        std::uint64_t rest = c;
        for (const FreeInput& in : m.inputs()) {
            choice_of[c].push_back(static_cast<std::int32_t>(rest % in.values.size()));
            rest /= in.values.size();
        }
    }

    const auto started = std::chrono::steady_clock::now();
    const Packer packer(m);
    StateStore store(packer.words());
    std::vector<std::uint32_t> parent{0}, via{0}, depth{0};
    std::vector<std::uint64_t> packed(packer.words());
    PassModel::State state(m.slots()), probe(m.slots()), after(m.slots());
    packer.pack(m.initial(), packed.data());
    store.insert(packed.data());

    const auto finish = [&](CheckResult::Outcome outcome) {
        result.outcome = outcome;
        result.states = store.size() - 1;
        result.depth = depth.empty() ? 0 : *std::max_element(depth.begin(), depth.end());
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        result.store_bytes = store.bytes() + (parent.capacity() + via.capacity() + depth.capacity()) * 4;
        return result;
    };

    for (std::size_t current = 0; current < store.size(); ++current) {
        if (options.interrupted && *options.interrupted) return finish(CheckResult::Outcome::Interrupted);
        packer.unpack(store.at(current), state);
        for (std::uint64_t c = 0; c < choices; ++c) {
            const auto& choice = choice_of[c];
            if (!m.allowed(state, choice)) continue;
            if (!bound_assumptions.empty()) {
                probe = state;
                m.apply_inputs(probe, choice);
                if (!std::all_of(bound_assumptions.begin(), bound_assumptions.end(),
                                 [&](const BoundExpression& a) { return m.evaluate(a, probe); }))
                    continue;
            }
            ++result.transitions;
            m.pass(state, choice, after);
            for (std::size_t k = 0; k < bound_invariants.size(); ++k) {
                if (m.evaluate(bound_invariants[k], after)) continue;
                result.invariant = options.invariants[k];
                result.reached = describe_state(m, after);
                result.counterexample.push_back(choice);
                for (std::size_t s = current; s != 0; s = parent[s]) result.counterexample.push_back(choice_of[via[s]]);
                std::reverse(result.counterexample.begin(), result.counterexample.end());
                return finish(CheckResult::Outcome::Violated);
            }
            packer.pack(after, packed.data());
            if (store.insert(packed.data()).second) {
                parent.push_back(static_cast<std::uint32_t>(current));
                via.push_back(static_cast<std::uint32_t>(c));
                depth.push_back(depth[current] + 1);
                if (options.max_states != 0 && store.size() - 1 >= options.max_states)
                    return finish(CheckResult::Outcome::Bounded);
                if (store.size() >= UINT32_MAX - 1) return finish(CheckResult::Outcome::Bounded);
            }
        }
    }
    return finish(CheckResult::Outcome::Holds);
}

std::string report(const CheckResult& r, double period) {
    std::string out;
    for (const std::string& note : r.notes) out += note + "\n";
    const std::string totals = std::to_string(r.states) + " reachable states (" + std::to_string(r.transitions) +
                               " transitions, longest path " + std::to_string(r.depth) + " passes)";
    switch (r.outcome) {
        case CheckResult::Outcome::Holds: return out + "holds in all " + totals + "\n";
        case CheckResult::Outcome::Bounded:
            return out + "explored " + std::to_string(r.states) + " states without a violation; the bound was reached\n";
        case CheckResult::Outcome::Interrupted:
            return out + "interrupted: explored " + std::to_string(r.states) + " states (" + std::to_string(r.transitions) +
                   " transitions, longest path " + std::to_string(r.depth) + " passes) without a violation so far\n";
        case CheckResult::Outcome::Error: return out + r.error + "\n";
        case CheckResult::Outcome::Violated: break;
    }
    const std::size_t passes = r.counterexample.size();
    out += "violated after " + std::to_string(passes) + (passes == 1 ? " pass: " : " passes: ") + r.invariant + "\n";
    const std::vector<std::int32_t>* last = nullptr;
    for (std::size_t p = 0; p < passes; ++p) {
        std::string changes;
        for (std::size_t k = 0; k < r.inputs.size(); ++k) {
            const std::int32_t v = r.counterexample[p][k];
            if (last != nullptr && (*last)[k] == v) continue;
            changes += " " + r.inputs[k].name + "=" + value_text(r.inputs[k], v);
        }
        last = &r.counterexample[p];
        if (!changes.empty() || p == 0 || p + 1 == passes)
            out += "  pass " + std::to_string(p + 1) + " (at " + seconds_text(static_cast<double>(p) * period / 1e6) +
                   " s, cycle " + std::to_string(p) + "):" + (changes.empty() ? " (inputs unchanged)" : changes) + "\n";
    }
    out += "  after pass " + std::to_string(passes) + ": " + r.reached + "\n";
    return out;
}

std::string counterexample_scenario(const CheckResult& r, const Graph& graph, double period) {
    const std::size_t passes = r.counterexample.size();
    const double seconds = period / 1e6;
    std::string out = "# Counterexample found by vxgen check: the invariant below is violated after " +
                      std::to_string(passes) + (passes == 1 ? " pass," : " passes,") + "\n# in cycle " + std::to_string(passes - 1) +
                      " of a program started afresh.\nprogram " + graph.name + "\nperiod " +
                      seconds_text(static_cast<double>(static_cast<float>(period))) + " us\n";
    // Every input is given at 0 s, so that the block's earlier values do
    // not matter; then only what changes.
    for (std::size_t p = 0; p < passes; ++p) {
        std::string changes;
        for (std::size_t k = 0; k < r.inputs.size(); ++k) {
            const std::int32_t v = r.counterexample[p][k];
            if (p > 0 && r.counterexample[p - 1][k] == v) continue;
            changes += " " + r.inputs[k].name + "=" + value_text(r.inputs[k], v);
        }
        if (!changes.empty()) out += "at " + seconds_text(static_cast<double>(p) * seconds) + " s" + changes + "\n";
    }
    out += "invariant " + r.invariant + "\nend " + seconds_text(static_cast<double>(passes) * seconds) + " s\n";
    return out;
}

}  // namespace vx::grafcet
