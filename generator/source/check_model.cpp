// The generated pass on the abstract state. Each step of `pass` mirrors a
// part of the generated graph module: the function blocks in declaration
// order, the firing flags on the state at the start of the pass, then each
// component's deactivations, activations, timers, action resets and sets,
// and last the previous activities (which, after any pass, equal the
// activities, so the state keeps only whether no pass has run yet).
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <map>
#include <set>

#include "vx/grafcet/check.hpp"

namespace vx::grafcet {
namespace {

constexpr std::int64_t kCounterMax = 32767;
constexpr std::int64_t kCounterMin = -32768;
constexpr std::int64_t kTimerMax = 2147483647;

void visit(const Expression& e, const std::function<void(const Expression&)>& f) {
    f(e);
    for (const Expression& o : e.operands) visit(o, f);
}

bool holds(const std::string& relation, double left, double right) {
    if (relation == ">=") return left >= right;
    if (relation == ">") return left > right;
    if (relation == "<=") return left <= right;
    if (relation == "<") return left < right;
    if (relation == "=") return left == right;
    return left != right;
}

unsigned width(std::int64_t low, std::int64_t high) {
    return static_cast<unsigned>(std::bit_width(static_cast<std::uint64_t>(high - low)));
}

// The representatives of the classes that comparisons with `constants`
// distinguish, for a cell of `type`: one value per distinct outcome.
std::vector<double> classes(CellType type, const std::vector<double>& constants) {
    std::vector<double> candidates{0.0};
    for (std::size_t k = 0; k < constants.size(); ++k) {
        const double c = constants[k];
        if (type == CellType::Float) {
            for (const double v : {c - 1.0, c, c + 1.0}) candidates.push_back(v);
            for (const double d : constants) candidates.push_back((c + d) / 2.0);
        } else {
            for (const double v : {std::floor(c) - 1.0, std::floor(c), std::ceil(c), std::ceil(c) + 1.0})
                candidates.push_back(std::clamp(v, -2147483648.0, 2147483647.0));
        }
    }
    std::vector<double> out;
    std::set<std::vector<int>> seen;
    for (double v : candidates) {
        if (type == CellType::Float) v = static_cast<double>(static_cast<float>(v));
        std::vector<int> signature;
        for (const double c : constants) signature.push_back(v < c ? 0 : v == c ? 1 : 2);
        if (seen.insert(signature).second) out.push_back(v);
    }
    return out;
}

}  // namespace

// ---- Building --------------------------------------------------------------------

std::optional<PassModel> PassModel::build(const Graph& source, const ModelOptions& options, std::string& error) {
    PassModel m;
    m.graph_ = std::make_shared<const Graph>(source);
    const Graph& g = *m.graph_;
    m.layout_ = derive_layout(g);
    m.period_ = static_cast<double>(static_cast<float>(options.period));
    m.dwell_ = options.dwell_passes;
    std::size_t next = 0;
    // A new slot; one that holds a free plant cell holds the index of its value.
    const auto slot = [&](std::optional<std::size_t> value_of_input = std::nullopt) {
        m.decoding_.push_back(value_of_input ? Decoding{Decoding::Kind::Table, *value_of_input} : Decoding{});
        return next++;
    };
    m.first_slot_ = slot();
    m.fields_.push_back({m.first_slot_, 1, 0});

    // Everything an expression reads: receptivities, block inputs, the
    // invariants and assumptions.
    std::vector<const Expression*> all;
    for (const Transition& t : g.transitions) all.push_back(&t.receptivity);
    for (const Block& b : g.blocks)
        for (const BlockInput& in : b.inputs)
            if (in.expression) all.push_back(&*in.expression);
    for (const Expression& e : options.observed) all.push_back(&e);

    for (std::size_t k = 0; k < g.steps.size(); ++k) {
        m.step_slot_.push_back(slot());
        m.fields_.push_back({m.step_slot_.back(), 1, 0});
        m.names_.emplace_back("X_" + std::to_string(g.steps[k].number), m.step_slot_.back());
        m.name_types_.emplace_back(m.names_.back().first, ValueType::Bool);
        m.probes_.push_back({m.names_.back().first, CellType::Bool, m.layout_.steps[k].activity, false,
                             m.step_slot_.back(), INT64_MIN, INT64_MAX, std::nullopt});
        if (const auto prev = m.layout_.steps[k].previous)
            m.probes_.push_back({m.names_.back().first + "_PREV", CellType::Bool, *prev, false, m.step_slot_.back(),
                                 INT64_MIN, INT64_MAX, std::nullopt});
    }
    for (std::size_t k = 0; k < g.variables.size(); ++k) {
        const Variable& v = g.variables[k];
        m.variable_slot_.push_back(slot());
        m.names_.emplace_back(v.name, m.variable_slot_.back());
        m.name_types_.emplace_back(v.name, ValueType::Bool);
        if (v.direction == Direction::Output) {
            m.fields_.push_back({m.variable_slot_.back(), 1, 0});
            m.probes_.push_back({v.name, CellType::Bool, m.layout_.variables[k], false, m.variable_slot_.back(),
                                 INT64_MIN, INT64_MAX, std::nullopt});
        } else {
            m.input_slot_.push_back(static_cast<std::int32_t>(m.variable_slot_.back()));
            m.inputs_.push_back({v.name, CellType::Bool, m.layout_.variables[k], {0.0, 1.0}, false});
        }
    }

    // Step timers: capped at the first value that every threshold reads as
    // reached; local when only the transitions leaving the step read it.
    for (const int n : m.layout_.timer_order) {
        const auto k = static_cast<std::size_t>(g.find_step(n) - g.steps.data());
        TimedStep t{k, slot(), 0, true};
        double highest = 0.0;
        const auto scan = [&](const Expression& root, std::optional<int> leaving) {
            visit(root, [&](const Expression& e) {
                if (e.kind != Expression::Kind::StepTime || e.step != n) return;
                const double needed = e.seconds * 1000000.0 / m.period_;
                if (std::isfinite(needed)) highest = std::max(highest, needed);
                if (leaving != n) t.local = false;
            });
        };
        for (const Transition& tr : g.transitions) scan(tr.receptivity, tr.from);
        for (const Block& b : g.blocks)
            for (const BlockInput& in : b.inputs)
                if (in.expression) scan(*in.expression, std::nullopt);
        for (const Expression& e : options.observed) scan(e, std::nullopt);
        t.cap = static_cast<std::int64_t>(std::min(std::ceil(highest), static_cast<double>(kTimerMax)));
        m.fields_.push_back({t.slot, width(0, t.cap), 0});
        m.probes_.push_back({"TIMER_" + std::to_string(n), CellType::Int, *m.layout_.steps[k].timer, false, t.slot, 0,
                             t.cap, t.local ? std::optional(m.step_slot_[k]) : std::nullopt});
        m.timers_.push_back(t);
    }

    // Constants each numeric name is compared with, and the names compared
    // with another name (kept exact).
    std::map<std::string, std::vector<double>> compared;
    std::set<std::string> paired;
    for (const Expression* root : all) {
        visit(*root, [&](const Expression& e) {
            if (e.kind != Expression::Kind::Compare) return;
            if (!e.other.empty()) {
                paired.insert(e.name);
                paired.insert(e.other);
            } else {
                compared[e.name].push_back(e.seconds);
            }
        });
    }

    // Function blocks: their outputs and memories.
    const auto block_period_ticks = static_cast<std::int64_t>(
        std::trunc(static_cast<long double>(static_cast<float>(options.period)) / 100.0L));
    for (std::size_t k = 0; k < g.blocks.size(); ++k) {
        const Block& b = g.blocks[k];
        const BlockKind& kind = b.type();
        BlockRun run;
        run.entry = kind.entry;
        run.step_ticks = block_period_ticks;
        for (const BlockInput& in : b.inputs) run.constant.push_back(in.value);
        const bool counter = kind.outputs().back().name == "CV";
        if (counter) {
            const std::string cv = b.name + ".CV";
            const std::int64_t pv = b.inputs.back().value;
            std::int64_t top = std::max<std::int64_t>(pv, 0), bottom = std::min<std::int64_t>(pv, 0);
            for (const double c : compared[cv]) {
                top = std::max(top, static_cast<std::int64_t>(std::clamp(std::ceil(c), -40000.0, 40000.0)));
                bottom = std::min(bottom, static_cast<std::int64_t>(std::clamp(std::floor(c), -40000.0, 40000.0)));
            }
            // An up counter only grows until reset, a down counter only falls
            // until loaded: beyond every constant, all values read alike.
            const bool exact = paired.count(cv) != 0 || run.entry == "ctud";
            run.low = exact || run.entry == "ctu" ? kCounterMin : std::max(kCounterMin, bottom - 1);
            run.high = exact || run.entry == "ctd" ? kCounterMax : std::min(kCounterMax, top + 1);
            if (run.entry == "ctu") run.low = std::min<std::int64_t>(0, bottom);
            if (run.entry == "ctd") run.high = top;
        }
        for (std::size_t o = 0; o < kind.outputs().size(); ++o) {
            const BlockPin& pin = kind.outputs()[o];
            const std::string name = b.name + "." + std::string(pin.name);
            run.out.push_back(slot());
            m.names_.emplace_back(name, run.out.back());
            const ValueType type = pin.type == PinType::Bool  ? ValueType::Bool
                                   : pin.type == PinType::Int ? ValueType::Int
                                                              : ValueType::Time;
            m.name_types_.emplace_back(name, type);
            std::int64_t low = 0, high = 1;
            if (type == ValueType::Int) low = run.low, high = run.high;
            if (type == ValueType::Time) high = std::max<std::int64_t>(b.inputs[1].value, 0);
            m.fields_.push_back({run.out.back(), width(low, high), low});
            m.probes_.push_back({name, type == ValueType::Bool ? CellType::Bool : CellType::Int,
                                 m.layout_.blocks[k].outputs[o], type == ValueType::Time, run.out.back(), low, high,
                                 std::nullopt});
        }
        if (run.entry == "r_trig" || run.entry == "f_trig" || run.entry == "tof") {
            run.memory = slot();
            m.fields_.push_back({run.memory, 1, 0});
        }
        m.blocks_.push_back(std::move(run));
    }

    // Plant cells that the controller or an observed expression reads: free
    // inputs, or a refusal.
    if (!g.objects.empty()) {
        if (!options.free_plant) {
            std::string objects;
            for (std::size_t k = 0; k < g.objects.size() && k < 4; ++k) objects += (k ? ", " : "") + g.objects[k].name;
            if (g.objects.size() > 4) objects += ", ...";
            error = "controller " + g.name + " has plant objects (" + objects +
                    ") whose cells its behaviour code writes from a continuous geometry, which cannot be explored; "
                    "give --free-plant to let every plant cell the controller reads take any value at every pass";
            return std::nullopt;
        }
        std::set<std::string> read;
        for (const Expression* root : all)
            visit(*root, [&](const Expression& e) {
                if (e.kind == Expression::Kind::Variable || e.kind == Expression::Kind::Compare) read.insert(e.name);
                if (e.kind == Expression::Kind::Compare && !e.other.empty()) read.insert(e.other);
            });
        for (const std::string& name : read) {
            const auto dot = name.find('.');
            if (dot == std::string::npos) continue;
            const Object* o = g.find_object(name.substr(0, dot));
            if (o == nullptr) continue;
            if (paired.count(name) != 0) {
                error = "with a free plant, " + name + " cannot be compared with another variable; compare it with a constant";
                return std::nullopt;
            }
            const auto k = static_cast<std::size_t>(o - g.objects.data());
            const ObjectLayout& cells = m.layout_.objects[k];
            const std::string member = name.substr(dot + 1);
            FreeInput in{name, CellType::Int, cells.status, {}, true};
            if (member == "x" || member == "y" || member == "z") {
                in.type = CellType::Float;
                in.cell = cells.matrix + 3 + 4 * (member == "x" ? 0 : member == "y" ? 1 : 2);
            } else if (member != "status") {
                const Model& model = g.models[o->model];
                for (std::size_t v = 0; v < model.variables.size(); ++v) {
                    if (model.variables[v].name != member) continue;
                    in.type = model.variables[v].type;
                    in.cell = cells.variables[v];
                }
            }
            in.values = in.type == CellType::Bool ? std::vector<double>{0.0, 1.0} : classes(in.type, compared[name]);
            const std::size_t index = m.inputs_.size();
            const std::size_t s = slot(index);
            m.inputs_.push_back(std::move(in));
            m.input_slot_.push_back(static_cast<std::int32_t>(s));
            m.names_.emplace_back(name, s);
            m.name_types_.emplace_back(name, m.inputs_.back().type == CellType::Bool    ? ValueType::Bool
                                             : m.inputs_.back().type == CellType::Float ? ValueType::Float
                                                                                        : ValueType::Int);
        }
    }
    if (options.keep_inputs || m.dwell_ > 0) {
        for (std::size_t k = 0; k < m.inputs_.size(); ++k)
            m.fields_.push_back({static_cast<std::size_t>(m.input_slot_[k]),
                                 width(0, static_cast<std::int64_t>(m.inputs_[k].values.size()) - 1), 0});
    }
    if (m.dwell_ > 0) {
        for (std::size_t k = 0; k < m.inputs_.size(); ++k) {
            m.age_slot_.push_back(slot());
            m.fields_.push_back({m.age_slot_.back(), width(0, m.dwell_), 0});
        }
    }
    m.slot_count_ = next;

    // Transitions and actions, bound last: they may read any slot.
    for (std::size_t k = 0; k < g.transitions.size(); ++k) {
        const Transition& t = g.transitions[k];
        Firing f{static_cast<std::size_t>(g.find_step(t.from) - g.steps.data()),
                 static_cast<std::size_t>(g.find_step(t.to) - g.steps.data()), t.component, std::nullopt, {}};
        for (std::size_t p = 0; p < k; ++p) {
            if (g.transitions[p].from != t.from) continue;
            f.preferred = p;
            break;
        }
        auto bound = m.bind(t.receptivity, error);
        if (!bound) return std::nullopt;
        f.receptivity = std::move(*bound);
        m.transitions_.push_back(std::move(f));
    }
    for (std::size_t k = 0; k < g.blocks.size(); ++k) {
        for (const BlockInput& in : g.blocks[k].inputs) {
            if (!in.expression) {
                m.blocks_[k].in.emplace_back();
                continue;
            }
            auto bound = m.bind(*in.expression, error);
            if (!bound) return std::nullopt;
            m.blocks_[k].in.push_back(std::move(*bound));
        }
    }
    for (const Step& s : g.steps) {
        std::vector<std::size_t> outputs;
        for (const std::string& a : s.actions)
            outputs.push_back(m.variable_slot_[static_cast<std::size_t>(g.find_variable(a) - g.variables.data())]);
        m.action_slots_.push_back(std::move(outputs));
        m.step_component_.push_back(s.component);
    }
    // What each component does in its turn, in the generated order.
    m.components_.resize(g.components.size());
    for (std::size_t k = 0; k < m.transitions_.size(); ++k) m.components_[m.transitions_[k].component].transitions.push_back(k);
    for (std::size_t k = 0; k < m.timers_.size(); ++k)
        m.components_[g.steps[m.timers_[k].step].component].timers.push_back(k);
    for (std::size_t k = 0; k < g.steps.size(); ++k)
        if (!g.steps[k].actions.empty()) m.components_[g.steps[k].component].acting.push_back(k);
    return m;
}

std::vector<std::string> PassModel::known_names() const {
    std::vector<std::string> out;
    for (const auto& [name, slot] : names_) out.push_back(name);
    return out;
}

std::optional<BoundExpression> PassModel::bind(const Expression& e, std::string& error) const {
    const auto find = [&](const std::string& name) -> std::optional<std::pair<std::size_t, ValueType>> {
        for (std::size_t k = 0; k < names_.size(); ++k)
            if (names_[k].first == name) return std::pair{names_[k].second, name_types_[k].second};
        return std::nullopt;
    };
    const auto unknown = [&](const std::string& name, std::string_view what) {
        error = "unknown " + std::string(what) + " '" + name + "'";
        const auto near = nearest_names(name, known_names());
        if (!near.empty()) {
            error += " (nearest:";
            for (std::size_t k = 0; k < near.size(); ++k) error += (k ? ", " : " ") + near[k];
            error += ")";
        }
    };
    BoundExpression b;
    switch (e.kind) {
        case Expression::Kind::Variable: {
            const auto found = find(e.name);
            if (!found) {
                unknown(e.name, "variable");
                return std::nullopt;
            }
            if (found->second != ValueType::Bool) {
                error = e.name + " is not a bool variable: compare it with a constant";
                return std::nullopt;
            }
            b.slot = found->first;
            return b;
        }
        case Expression::Kind::Step:
        case Expression::Kind::StepTime: {
            const std::string name = "X_" + std::to_string(e.step);
            const auto found = find(name);
            if (!found) {
                unknown(name, "step");
                return std::nullopt;
            }
            b.slot = found->first;
            if (e.kind == Expression::Kind::Step) return b;
            const auto timer = std::find_if(timers_.begin(), timers_.end(), [&](const TimedStep& t) {
                return graph_->steps[t.step].number == e.step;
            });
            if (timer == timers_.end()) {
                error = "step " + std::to_string(e.step) + " has no timer in the program (no receptivity reads its time), so t(" +
                        name + ") cannot be tested";
                return std::nullopt;
            }
            b.op = BoundExpression::Op::StepTime;
            b.slot = timer->slot;
            b.constant = e.seconds * 1000000.0 / period_;
            return b;
        }
        case Expression::Kind::Compare: {
            const auto left = find(e.name);
            if (!left) {
                unknown(e.name, "variable");
                return std::nullopt;
            }
            if (left->second == ValueType::Bool) {
                error = e.name + " is a bool variable and cannot be compared";
                return std::nullopt;
            }
            b.slot = left->first;
            b.relation = e.relation;
            if (!e.other.empty()) {
                const auto right = find(e.other);
                if (!right) {
                    unknown(e.other, "variable");
                    return std::nullopt;
                }
                if (right->second == ValueType::Bool || (right->second == ValueType::Time) != (left->second == ValueType::Time)) {
                    error = e.name + " and " + e.other + " cannot be compared";
                    return std::nullopt;
                }
                b.op = BoundExpression::Op::CompareSlots;
                b.other = right->first;
                return b;
            }
            if ((left->second == ValueType::Time) != !e.unit.empty()) {
                error = left->second == ValueType::Time ? e.name + " is a TIME: give the constant a unit, s or ms"
                                                        : e.name + " is not a TIME: write the constant without a unit";
                return std::nullopt;
            }
            b.op = BoundExpression::Op::CompareConstant;
            b.constant = left->second == ValueType::Time ? static_cast<double>(std::llround(e.seconds * 10000.0)) : e.seconds;
            return b;
        }
        case Expression::Kind::Not:
        case Expression::Kind::And:
        case Expression::Kind::Or:
            b.op = e.kind == Expression::Kind::Not   ? BoundExpression::Op::Not
                   : e.kind == Expression::Kind::And ? BoundExpression::Op::And
                                                     : BoundExpression::Op::Or;
            for (const Expression& o : e.operands) {
                auto bound = bind(o, error);
                if (!bound) return std::nullopt;
                b.operands.push_back(std::move(*bound));
            }
            return b;
    }
    return std::nullopt;
}

// ---- The pass --------------------------------------------------------------------

double PassModel::value(const State& s, std::size_t slot) const {
    const Decoding& d = decoding_[slot];
    if (d.kind == Decoding::Kind::Table) return inputs_[d.input].values[static_cast<std::size_t>(s[slot])];
    return static_cast<double>(s[slot]);
}

bool PassModel::truth(const BoundExpression& e, const State& s) const {
    switch (e.op) {
        case BoundExpression::Op::Flag: return value(s, e.slot) != 0.0;
        case BoundExpression::Op::StepTime: return !std::isnan(e.constant) && static_cast<double>(s[e.slot]) >= e.constant;
        case BoundExpression::Op::CompareConstant: return holds(e.relation, value(s, e.slot), e.constant);
        case BoundExpression::Op::CompareSlots: return holds(e.relation, value(s, e.slot), value(s, e.other));
        case BoundExpression::Op::Not: return !truth(e.operands.front(), s);
        case BoundExpression::Op::And:
            return std::all_of(e.operands.begin(), e.operands.end(), [&](const BoundExpression& o) { return truth(o, s); });
        case BoundExpression::Op::Or:
            return std::any_of(e.operands.begin(), e.operands.end(), [&](const BoundExpression& o) { return truth(o, s); });
    }
    return false;
}

bool PassModel::evaluate(const BoundExpression& e, const State& state) const { return truth(e, state); }

PassModel::State PassModel::initial() const {
    State s(slot_count_, 0);
    s[first_slot_] = 1;
    for (std::size_t k = 0; k < graph_->steps.size(); ++k) s[step_slot_[k]] = graph_->steps[k].initial ? 1 : 0;
    for (std::size_t k = 0; k < inputs_.size(); ++k) {
        // Plant cells start at 0; the class holding 0 is listed first.
        s[static_cast<std::size_t>(input_slot_[k])] = 0;
        if (dwell_ > 0) s[age_slot_[k]] = dwell_;
    }
    return s;
}

void PassModel::apply_inputs(State& s, std::span<const std::int32_t> choice) const {
    for (std::size_t k = 0; k < inputs_.size(); ++k) s[static_cast<std::size_t>(input_slot_[k])] = choice[k];
}

bool PassModel::allowed(const State& before, std::span<const std::int32_t> choice) const {
    if (dwell_ == 0) return true;
    for (std::size_t k = 0; k < inputs_.size(); ++k)
        if (before[static_cast<std::size_t>(input_slot_[k])] != choice[k] && before[age_slot_[k]] < dwell_) return false;
    return true;
}

void PassModel::run_block(const BlockRun& b, State& s, bool first) const {
    std::array<bool, 5> in{};
    for (std::size_t k = 0; k < b.in.size() && k < in.size(); ++k) in[k] = b.in[k] ? truth(*b.in[k], s) : b.constant[k] != 0;
    const std::string_view e = b.entry;
    if (e == "r_trig" || e == "f_trig") {
        const bool last = s[b.memory] != 0;
        s[b.out[0]] = e == "r_trig" ? (in[0] && !last) : (!in[0] && last);
        s[b.memory] = in[0];
    } else if (e == "rs") {
        s[b.out[0]] = !in[1] && (in[0] || s[b.out[0]] != 0);
    } else if (e == "sr") {
        s[b.out[0]] = in[0] || (!in[1] && s[b.out[0]] != 0);
    } else if (e == "ctu" || e == "ctd" || e == "ctud") {
        // The first pass runs in cycle 0, the mark's start value: no count.
        std::int64_t& cv = s[b.out.back()];
        const std::int64_t pv = b.constant.back();
        if (e == "ctu") {
            if (in[1]) cv = 0;
            else if (in[0] && cv != kCounterMax && !first) cv = std::min(cv + 1, b.high);
            s[b.out[0]] = cv >= pv;
        } else if (e == "ctd") {
            if (in[1]) cv = pv;
            else if (in[0] && cv != kCounterMin && !first) cv = std::max(cv - 1, b.low);
            s[b.out[0]] = cv <= 0;
        } else {
            if (in[2]) cv = 0;
            else if (in[3]) cv = pv;
            else if (in[0]) {
                if (!in[1] && cv != kCounterMax && !first) ++cv;
            } else if (in[1] && cv != kCounterMin && !first) {
                --cv;
            }
            s[b.out[0]] = cv >= pv;
            s[b.out[1]] = cv <= 0;
        }
    } else {
        // Timers: the elapsed ticks of ET; the period's whole ticks are added
        // once per pass, except in cycle 0.
        std::int64_t& et = s[b.out[1]];
        const std::int64_t pt = b.constant[1];
        if (e == "ton") {
            if (in[0]) {
                if (!first) et += b.step_ticks;
                et = std::min(et, pt);
            } else {
                et = 0;
            }
            s[b.out[0]] = pt == 0 ? in[0] : et >= pt;
        } else if (e == "tof") {
            std::int64_t& running = s[b.memory];
            if (in[0]) {
                running = 1;
                et = 0;
            } else {
                if (!first && running == 1) et += b.step_ticks;
                if (et > pt) {
                    running = 0;
                    et = pt;
                }
            }
            s[b.out[0]] = pt != 0 && pt >= et && running == 1;
        } else {
            if (!in[0] && et == pt) et = 0;
            if (!first && (in[0] || et > 0)) et += b.step_ticks;
            et = std::min(et, pt);
            s[b.out[0]] = et > 0 && et < pt;
        }
    }
}

PassModel::State PassModel::pass(const State& before, std::span<const std::int32_t> choice) const {
    State after;
    pass(before, choice, after);
    return after;
}

void PassModel::pass(const State& before, std::span<const std::int32_t> choice, State& s) const {
    s = before;
    apply_inputs(s, choice);
    const bool first = before[first_slot_] != 0;
    for (const BlockRun& b : blocks_) run_block(b, s, first);

    // The firing flags, on the stack for any graph of a usual size.
    std::array<char, 512> flags{};
    std::vector<char> more(transitions_.size() > flags.size() ? transitions_.size() : 0);
    char* fire = more.empty() ? flags.data() : more.data();
    for (std::size_t k = 0; k < transitions_.size(); ++k) {
        const Firing& f = transitions_[k];
        fire[k] = s[step_slot_[f.from]] != 0 && !(f.preferred && fire[*f.preferred]) && truth(f.receptivity, s);
    }
    const auto previous = [&](std::size_t step) { return !first && before[step_slot_[step]] != 0; };
    for (const ComponentWork& w : components_) {
        for (const std::size_t k : w.transitions)
            if (fire[k]) s[step_slot_[transitions_[k].from]] = 0;
        for (const std::size_t k : w.transitions)
            if (fire[k]) s[step_slot_[transitions_[k].to]] = 1;
        for (const std::size_t k : w.timers) {
            const TimedStep& t = timers_[k];
            if (s[step_slot_[t.step]] != 0) s[t.slot] = previous(t.step) ? std::min(s[t.slot] + 1, t.cap) : 0;
        }
        for (const std::size_t k : w.acting)
            if (previous(k) && s[step_slot_[k]] == 0)
                for (const std::size_t o : action_slots_[k]) s[o] = 0;
        for (const std::size_t k : w.acting)
            if (s[step_slot_[k]] != 0)
                for (const std::size_t o : action_slots_[k]) s[o] = 1;
    }
    s[first_slot_] = 0;
    for (const TimedStep& t : timers_)
        if (t.local && s[step_slot_[t.step]] == 0) s[t.slot] = 0;
    for (std::size_t k = 0; k < age_slot_.size(); ++k) {
        const bool changed = before[static_cast<std::size_t>(input_slot_[k])] != choice[k];
        s[age_slot_[k]] = changed ? 1 : std::min(before[age_slot_[k]] + 1, dwell_);
    }
}

}  // namespace vx::grafcet
