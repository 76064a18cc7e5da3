// The helpers every declaration kind's reader uses, and the checks of the
// receptivity notation, which transitions and block inputs share.
#include "description_reader.hpp"

#include <algorithm>
#include <cctype>
#include <cmath>

#include "vx/grafcet/description.hpp"

namespace vx::grafcet::reading {

bool is_name(std::string_view s) {
    if (s.empty() || !std::isalpha(static_cast<unsigned char>(s.front()))) return false;
    return std::all_of(s.begin(), s.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '_'; });
}

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

std::string quoted(std::string_view s) { return "'" + std::string(s) + "'"; }

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

std::string step_text(int number) { return "step " + std::to_string(number); }

bool Reader::first_time(int& seen_at, int line, std::string_view keyword) {
    if (seen_at != 0) {
        error(line, quoted(keyword) + " is declared twice (first on line " + std::to_string(seen_at) + ")");
        return false;
    }
    seen_at = line;
    return true;
}

std::optional<std::string> Reader::one_name(const std::vector<std::string_view>& args, int line, std::string_view keyword) {
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

// Names of blocks, models, objects and model variables: a name, without
// the double underscore that joins them to their members in the
// generated code.
bool Reader::plant_name(std::string_view name, int line, std::string_view what) {
    if (!is_name(name)) {
        error(line, quoted(name) + " is not a valid " + std::string(what) +
                        " name: a name starts with a letter and holds letters, digits and '_'");
        return false;
    }
    if (name.find("__") != std::string_view::npos) {
        error(line, quoted(name) + " cannot name a " + std::string(what) +
                        ": '__' joins names to their members in the generated code");
        return false;
    }
    return true;
}

// Blocks, objects and variables share one name space: the receptivity
// notation reads "name" and "name.member".
bool Reader::new_top_name(const std::string& name, int line) {
    if (const Variable* v = graph.find_variable(name)) {
        error(line, "the name " + quoted(name) + " is already declared (on line " + std::to_string(v->line) + ")");
        return false;
    }
    const auto [it, inserted] = top_names.emplace(name, line);
    if (!inserted)
        error(line, "the name " + quoted(name) + " is already declared (on line " + std::to_string(it->second) + ")");
    return inserted;
}

void Reader::check_expression(int line, const std::string& where, const Expression& e) {
    switch (e.kind) {
        case Expression::Kind::Variable: {
            const auto r = resolve(graph, e.name);
            if (!r) {
                error(line, "unknown variable " + quoted(e.name) + " in " + where);
            } else if (r->type != ValueType::Bool) {
                error(line, quoted(e.name) + " in " + where + " is a number: compare it with a constant (" +
                                e.name + (r->type == ValueType::Time ? " >= 1 s)" : " >= 1)"));
            }
            return;
        }
        case Expression::Kind::Compare: return check_comparison(line, where, e);
        case Expression::Kind::Step:
        case Expression::Kind::StepTime:
            if (graph.find_step(e.step) == nullptr && failed_steps.count(e.step) == 0)
                error(line, "unknown step X_" + std::to_string(e.step) + " in " + where);
            if (e.kind == Expression::Kind::StepTime && !std::isfinite(e.seconds))
                error(line, "the duration " + e.duration + " s in " + where + " is out of range");
            return;
        default:
            for (const Expression& operand : e.operands) check_expression(line, where, operand);
    }
}

void Reader::check_comparison(int line, const std::string& where, const Expression& e) {
    const auto r = resolve(graph, e.name);
    if (!e.other.empty()) return check_two_variables(line, where, e, r);
    if (!r) {
        error(line, "unknown variable " + quoted(e.name) + " in " + where);
    } else if (r->type == ValueType::Bool) {
        error(line, quoted(e.name) + " in " + where + " is a bool: it is read alone, not compared with a number");
    } else if (r->type == ValueType::Time && e.unit.empty()) {
        error(line, quoted(e.name) + " in " + where + " is a duration: give the constant its unit (s or ms)");
    } else if (r->type != ValueType::Time && !e.unit.empty()) {
        error(line, quoted(e.name) + " in " + where + " is not a duration: write the constant without a unit");
    } else if (!std::isfinite(e.seconds) || std::fabs(e.seconds) > 1e15) {
        error(line, "the constant " + e.duration + " in " + where + " is out of range");
    }
}

// Two numbers compare, and two durations; a bool with nothing.
void Reader::check_two_variables(int line, const std::string& where, const Expression& e, const std::optional<Reference>& left) {
    const auto right = resolve(graph, e.other);
    for (const auto& [name, r] : {std::pair{e.name, left}, std::pair{e.other, right}}) {
        if (!r) {
            error(line, "unknown variable " + quoted(name) + " in " + where);
            return;
        }
        if (r->type == ValueType::Bool) {
            error(line, quoted(name) + " in " + where + " is a bool: it is read alone, not compared");
            return;
        }
    }
    if ((left->type == ValueType::Time) != (right->type == ValueType::Time))
        error(line, "a duration is compared with a duration only, not " + quoted(e.name) + " with " +
                        quoted(e.other) + " in " + where);
}

}  // namespace vx::grafcet::reading
