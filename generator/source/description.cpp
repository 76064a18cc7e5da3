// Reading a controller description: first every line on its own, then the
// references between lines (steps, variables, components), so that a
// transition may name a step declared further down.
#include "vx/grafcet/description.hpp"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <set>

#include "vx/grafcet/layout.hpp"

namespace vx::grafcet {

std::string Diagnostic::text() const { return file + ":" + std::to_string(line) + ": error: " + message; }

const Step* Graph::find_step(int number) const {
    const auto it = std::find_if(steps.begin(), steps.end(), [&](const Step& s) { return s.number == number; });
    return it == steps.end() ? nullptr : &*it;
}

const Variable* Graph::find_variable(std::string_view variable) const {
    const auto it = std::find_if(variables.begin(), variables.end(), [&](const Variable& v) { return v.name == variable; });
    return it == variables.end() ? nullptr : &*it;
}

namespace {

// The task name "<graph>.exe" must fit the runtime's 50-character string.
constexpr std::size_t kMaxGraphName = 50 - 4;

// Action qualifiers a user may know from other Grafcet tools. Only the
// continuous action (N, the default) is part of the evolution rule.
struct Qualifier {
    std::string_view name;
    std::string_view refusal;  // empty: accepted
};
constexpr std::array kQualifiers{
    Qualifier{"N", ""},
    Qualifier{"S", "stored actions are not supported"},
    Qualifier{"R", "stored actions are not supported"},
    Qualifier{"SD", "stored actions are not supported"},
    Qualifier{"DS", "stored actions are not supported"},
    Qualifier{"SL", "stored actions are not supported"},
    Qualifier{"D", "delayed actions are not supported"},
    Qualifier{"L", "time-limited actions are not supported"},
    Qualifier{"P", "pulse actions are not supported"},
    Qualifier{"P0", "pulse actions are not supported"},
    Qualifier{"P1", "pulse actions are not supported"},
    Qualifier{"C", "conditional actions are not supported"},
};

bool is_name(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s.front()))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

// Words of a line: separated by white space and commas.
std::vector<std::string_view> words(std::string_view line) {
    std::vector<std::string_view> out;
    std::size_t pos = 0;
    const auto separator = [](char c) { return std::isspace(static_cast<unsigned char>(c)) || c == ','; };
    while (pos < line.size()) {
        while (pos < line.size() && separator(line[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !separator(line[pos])) ++pos;
        if (pos > start) out.push_back(line.substr(start, pos - start));
    }
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

template <class Int> std::optional<Int> whole_number(std::string_view s) {
    Int value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

// A step is written as its number or as X_<number>.
std::optional<int> step_reference(std::string_view s) {
    if (starts_with(s, "X_")) s.remove_prefix(2);
    if (s.empty() || !std::isdigit(static_cast<unsigned char>(s.front()))) return std::nullopt;
    return whole_number<int>(s);
}

std::string step_text(int number) { return "step " + std::to_string(number); }
std::string transition_text(const Transition& t) {
    return "transition " + std::to_string(t.from) + " -> " + std::to_string(t.to);
}

class DescriptionReader {
public:
    explicit DescriptionReader(std::string_view file) : file_(file) {}

    ParsedDescription read(std::string_view text) {
        int line_number = 0;
        std::size_t pos = 0;
        while (pos <= text.size()) {
            const std::size_t end = std::min(text.find('\n', pos), text.size());
            ++line_number;
            read_line(text.substr(pos, end - pos), line_number);
            pos = end + 1;
        }
        last_line_ = std::max(1, line_number - (text.empty() || text.back() == '\n' ? 1 : 0));
        check_whole();
        std::stable_sort(errors_.begin(), errors_.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
        ParsedDescription result;
        result.errors = std::move(errors_);
        if (result.errors.empty()) result.graph = std::move(graph_);
        return result;
    }

private:
    void error(int line, std::string message) { errors_.push_back({file_, line, std::move(message)}); }

    void read_line(std::string_view raw, int line) {
        const std::string_view text = trim(raw.substr(0, raw.find('#')));
        if (text.empty()) return;
        const auto w = words(text);
        if (w.empty()) return;  // separators only (",,"): nothing is declared, as on a blank line
        const std::string_view keyword = w.front();
        const std::vector<std::string_view> args(w.begin() + 1, w.end());
        if (keyword == "graph") return read_graph(args, line);
        if (keyword == "unit") return read_unit(args, line);
        if (keyword == "signature") return read_number(args, line, "signature", signature_line_, graph_.signature);
        if (keyword == "generation-time")
            return read_number(args, line, "generation-time", generation_line_, graph_.generation_time);
        if (keyword == "input") return read_variables(args, line, Direction::Input);
        if (keyword == "output") return read_variables(args, line, Direction::Output);
        if (keyword == "component") return read_component(args, line);
        if (keyword == "step") return read_step(args, line);
        if (keyword == "transition") return read_transition(text.substr(keyword.size()), line);
        error(line, "unknown declaration " + quoted(keyword) +
                        ": expected graph, unit, signature, generation-time, input, output, component, step or "
                        "transition");
    }

    // A keyword that may appear once: false (with an error) when it came before.
    bool first_time(int& seen_at, int line, std::string_view keyword) {
        if (seen_at != 0) {
            error(line, quoted(keyword) + " is declared twice (first on line " + std::to_string(seen_at) + ")");
            return false;
        }
        seen_at = line;
        return true;
    }

    std::optional<std::string> one_name(const std::vector<std::string_view>& args, int line, std::string_view keyword) {
        if (args.size() != 1) {
            error(line, quoted(keyword) + " takes one name");
            return std::nullopt;
        }
        if (!is_name(args.front())) {
            error(line, quoted(args.front()) + " is not a valid name: a name starts with a letter and holds letters, "
                                               "digits and '_'");
            return std::nullopt;
        }
        return std::string(args.front());
    }

    void read_graph(const std::vector<std::string_view>& args, int line) {
        if (!first_time(graph_line_, line, "graph")) return;
        const auto name = one_name(args, line, "graph");
        if (!name) return;
        if (name->size() > kMaxGraphName) {
            error(line, "graph name " + quoted(*name) + " is too long: the task name " + quoted(*name + ".exe") +
                            " must fit in 50 characters");
            return;
        }
        graph_.name = *name;
        graph_.name_line = line;
    }

    void read_unit(const std::vector<std::string_view>& args, int line) {
        if (!first_time(unit_line_, line, "unit")) return;
        if (const auto name = one_name(args, line, "unit")) graph_.unit = *name;
    }

    void read_number(const std::vector<std::string_view>& args, int line, std::string_view keyword, int& seen_at,
                     std::int32_t& value) {
        if (!first_time(seen_at, line, keyword)) return;
        const auto number = args.size() == 1 ? whole_number<std::int32_t>(args.front()) : std::nullopt;
        if (!number) {
            error(line, quoted(keyword) + " takes one whole number from -2147483648 to 2147483647");
            return;
        }
        value = *number;
    }

    void read_variables(const std::vector<std::string_view>& args, int line, Direction direction) {
        if (args.empty()) error(line, std::string(direction == Direction::Input ? "'input'" : "'output'") +
                                          " needs at least one variable name");
        for (const std::string_view name : args) {
            if (const auto refusal = refuse_variable_name(name)) {
                error(line, *refusal);
            } else if (const Variable* first = graph_.find_variable(name)) {
                error(line, "variable " + quoted(name) + " is declared twice (first on line " +
                                std::to_string(first->line) + ")");
            } else {
                graph_.variables.push_back({std::string(name), direction, line});
            }
        }
    }

    // Variable names share the symbol file with steps, timers and the
    // control variables, and the receptivity notation with its keywords.
    static std::optional<std::string> refuse_variable_name(std::string_view name) {
        if (!is_name(name))
            return quoted(name) + " is not a valid name: a name starts with a letter and holds letters, digits and '_'";
        if (name == "not") return "'not' cannot name a variable: it is the negation of the receptivity notation";
        if (starts_with(name, "X_")) return quoted(name) + " cannot name a variable: X_ names the steps";
        if (starts_with(name, "TIMER_")) return quoted(name) + " cannot name a variable: TIMER_ names the step timers";
        if (is_control_name(name)) return quoted(name) + " cannot name a variable: it is a control variable of the runtime";
        return std::nullopt;
    }

    void read_component(const std::vector<std::string_view>& args, int line) {
        const auto name = one_name(args, line, "component");
        if (!name) {
            current_component_.reset();
            component_failed_ = true;
            return;
        }
        const auto& components = graph_.components;
        const auto it = std::find_if(components.begin(), components.end(),
                                     [&](const Component& c) { return c.name == *name; });
        if (it != components.end()) {
            error(line, "component " + quoted(*name) + " is declared twice (first on line " +
                            std::to_string(it->line) + ")");
            current_component_.reset();
            component_failed_ = true;
            return;
        }
        graph_.components.push_back({*name, line});
        current_component_ = graph_.components.size() - 1;
        component_failed_ = false;
    }

    bool in_component(int line, std::string_view what) {
        if (current_component_) return true;
        // After a failed component line its own error says enough.
        if (!component_failed_)
            error(line, std::string(what) + " outside a component: declare 'component <name>' first");
        return false;
    }

    void read_step(const std::vector<std::string_view>& args, int line) {
        if (!in_component(line, "step")) return;
        attempted_components_.insert(*current_component_);
        if (args.empty()) {
            error(line, "'step' needs a step number");
            return;
        }
        const auto number = step_reference(args.front());
        if (!number) {
            error(line, quoted(args.front()) + " is not a step number");
            return;
        }
        Step step;
        step.number = *number;
        step.component = *current_component_;
        step.line = line;
        bool ok = true;
        std::size_t k = 1;
        for (; k < args.size() && args[k] != "action"; ++k) {
            if (args[k] == "initial" && !step.initial) {
                step.initial = true;
            } else {
                error(line, "unexpected " + quoted(args[k]) + " after " + step_text(step.number) +
                                ": expected 'initial' or 'action'");
                ok = false;
            }
        }
        if (k < args.size()) ok = read_actions({args.begin() + static_cast<std::ptrdiff_t>(k) + 1, args.end()}, line, step) && ok;
        if (const Step* first = graph_.find_step(step.number)) {
            error(line, step_text(step.number) + " is declared twice (first on line " + std::to_string(first->line) +
                            ")");
            return;
        }
        if (ok) {
            graph_.steps.push_back(std::move(step));
        } else {
            failed_steps_.insert(step.number);
        }
    }

    bool read_actions(const std::vector<std::string_view>& items, int line, Step& step) {
        if (items.empty()) {
            error(line, "'action' needs at least one output");
            return false;
        }
        bool ok = true;
        for (std::string_view item : items) {
            if (const auto colon = item.find(':'); colon != std::string_view::npos) {
                const std::string_view qualifier = item.substr(0, colon);
                const auto q = std::find_if(kQualifiers.begin(), kQualifiers.end(),
                                            [&](const Qualifier& x) { return x.name == qualifier; });
                if (q == kQualifiers.end()) {
                    error(line, "unknown action qualifier " + quoted(qualifier) + " in " + quoted(item));
                    ok = false;
                    continue;
                }
                if (!q->refusal.empty()) {
                    error(line, std::string(q->refusal) + " (" + quoted(item) +
                                    "): an action is continuous, its outputs are 1 while the step is active");
                    ok = false;
                    continue;
                }
                item.remove_prefix(colon + 1);
            }
            if (std::find(step.actions.begin(), step.actions.end(), item) != step.actions.end()) {
                error(line, step_text(step.number) + " names output " + quoted(item) + " twice");
                ok = false;
                continue;
            }
            step.actions.emplace_back(item);
        }
        return ok;
    }

    void read_transition(std::string_view rest, int line) {
        if (!in_component(line, "transition")) return;
        const std::size_t when = find_word(rest, "when");
        const std::size_t arrow = rest.find("->");
        const bool one_arrow = arrow != std::string_view::npos && rest.find("->", arrow + 2) > when;
        if (when == std::string_view::npos || !one_arrow || arrow > when) {
            error(line, "a transition is written 'transition <step> -> <step> when <receptivity>'");
            return;
        }
        Transition t;
        t.component = *current_component_;
        t.line = line;
        const auto upstream = transition_side(rest.substr(0, arrow), line, "upstream");
        const auto downstream = transition_side(rest.substr(arrow + 2, when - arrow - 2), line, "downstream");
        if (!upstream || !downstream) return;
        t.from = *upstream;
        t.to = *downstream;
        t.text = std::string(trim(rest.substr(when + 4)));
        ParsedExpression parsed = parse_expression(t.text);
        if (!parsed.expression) {
            error(line, "malformed receptivity of " + transition_text(t) + " at column " +
                            std::to_string(parsed.error.column) + ": " + parsed.error.message);
            return;
        }
        t.receptivity = std::move(*parsed.expression);
        graph_.transitions.push_back(std::move(t));
    }

    static std::size_t find_word(std::string_view text, std::string_view word) {
        for (std::size_t pos = text.find(word); pos != std::string_view::npos; pos = text.find(word, pos + 1)) {
            const bool before = pos == 0 || std::isspace(static_cast<unsigned char>(text[pos - 1]));
            const std::size_t after = pos + word.size();
            if (before && (after == text.size() || std::isspace(static_cast<unsigned char>(text[after])))) return pos;
        }
        return std::string_view::npos;
    }

    std::optional<int> transition_side(std::string_view side, int line, std::string_view which) {
        std::vector<std::string_view> steps;
        for (std::string_view w : words(side)) {
            if (w != "&") steps.push_back(w);
        }
        if (steps.size() > 1 || side.find('&') != std::string_view::npos) {
            error(line, "parallel branches are not supported: a transition has exactly one upstream step and one "
                        "downstream step");
            return std::nullopt;
        }
        if (steps.empty()) {
            error(line, "the transition has no " + std::string(which) + " step");
            return std::nullopt;
        }
        const auto number = step_reference(steps.front());
        if (!number) error(line, quoted(steps.front()) + " is not a step number");
        return number;
    }

    // ---- Checks that need the whole description ----------------------------

    void check_whole() {
        if (graph_line_ == 0) error(last_line_, "the description names no graph: add 'graph <name>'");
        if (unit_line_ == 0) error(last_line_, "the description names no unit: add 'unit <name>'");
        if (graph_.steps.empty() && errors_.empty()) error(last_line_, "the graph has no steps");
        check_components();
        check_actions();
        check_transitions();
    }

    void check_components() {
        for (std::size_t c = 0; c < graph_.components.size(); ++c) {
            const bool has_step = std::any_of(graph_.steps.begin(), graph_.steps.end(),
                                              [&](const Step& s) { return s.component == c; });
            if (!has_step && attempted_components_.count(c) == 0)
                error(graph_.components[c].line, "component " + quoted(graph_.components[c].name) + " has no steps");
        }
    }

    void check_actions() {
        for (const Step& step : graph_.steps) {
            for (const std::string& output : step.actions) {
                const Variable* v = graph_.find_variable(output);
                if (v == nullptr) {
                    error(step.line, "the action of " + step_text(step.number) + " names unknown output " +
                                         quoted(output));
                } else if (v->direction != Direction::Output) {
                    error(step.line, "the action of " + step_text(step.number) + " names " + quoted(output) +
                                         ", which is an input: actions drive outputs only");
                }
            }
        }
    }

    void check_transitions() {
        std::map<int, std::vector<const Transition*>> outgoing;
        for (const Transition& t : graph_.transitions) {
            check_end(t, t.from, "upstream");
            check_end(t, t.to, "downstream");
            check_atoms(t, t.receptivity);
            auto& choice = outgoing[t.from];
            choice.push_back(&t);
            if (choice.size() == 3)
                error(t.line, step_text(t.from) + " has a third outgoing transition (the others are on lines " +
                                  std::to_string(choice[0]->line) + " and " + std::to_string(choice[1]->line) +
                                  "): a choice has two transitions at most");
        }
    }

    void check_end(const Transition& t, int number, std::string_view which) {
        const Step* step = graph_.find_step(number);
        if (step == nullptr) {
            // A step whose own line failed has been reported there.
            if (failed_steps_.count(number) == 0)
                error(t.line, "unknown " + std::string(which) + " " + step_text(number) + " in " + transition_text(t));
            return;
        }
        if (step->component != t.component) {
            error(t.line, transition_text(t) + " is listed in component " +
                              quoted(graph_.components[t.component].name) + " but its " + std::string(which) + " " +
                              step_text(number) + " belongs to component " +
                              quoted(graph_.components[step->component].name));
        }
    }

    void check_atoms(const Transition& t, const Expression& e) {
        switch (e.kind) {
            case Expression::Kind::Variable:
                if (graph_.find_variable(e.name) == nullptr)
                    error(t.line, "unknown variable " + quoted(e.name) + " in the receptivity of " + transition_text(t));
                return;
            case Expression::Kind::Compare:
                error(t.line, "unknown numeric variable " + quoted(e.name) + " in the receptivity of " +
                                  transition_text(t));
                return;
            case Expression::Kind::Step:
            case Expression::Kind::StepTime:
                if (graph_.find_step(e.step) == nullptr && failed_steps_.count(e.step) == 0)
                    error(t.line, "unknown step X_" + std::to_string(e.step) + " in the receptivity of " +
                                      transition_text(t));
                if (e.kind == Expression::Kind::StepTime && !std::isfinite(e.seconds))
                    error(t.line, "the duration " + e.duration + " s in the receptivity of " + transition_text(t) +
                                      " is out of range");
                return;
            default:
                for (const Expression& operand : e.operands) check_atoms(t, operand);
        }
    }

    std::string file_;
    Graph graph_;
    std::vector<Diagnostic> errors_;
    std::optional<std::size_t> current_component_;
    bool component_failed_ = false;            // the last component line was refused
    std::set<std::size_t> attempted_components_;  // components with at least one step line
    std::set<int> failed_steps_;               // steps whose line was refused
    int graph_line_ = 0, unit_line_ = 0, signature_line_ = 0, generation_line_ = 0, last_line_ = 1;
};

}  // namespace

ParsedDescription parse_description(std::string_view text, std::string_view file) {
    // Some editors start a UTF-8 file with a byte order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (starts_with(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    return DescriptionReader(file).read(text);
}

}  // namespace vx::grafcet
