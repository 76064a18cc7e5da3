#include "vx/console/condition.hpp"

#include <algorithm>
#include <cmath>
#include <compare>
#include <iterator>
#include <limits>
#include <optional>
#include <type_traits>
#include <variant>

#include "vx/console/error.hpp"
#include "vx/console/values.hpp"
#include "vx/grafcet/expression.hpp"

namespace vx::console {
namespace {

using grafcet::Expression;

// The relations of a comparison as written, by the orderings they accept. An
// unordered pair (a NaN cell) satisfies <> only, as in floating point.
struct Relation {
    std::string_view text;
    bool (*holds)(std::partial_ordering);
};
constexpr Relation kRelations[] = {
    {">=", [](std::partial_ordering o) { return o >= 0; }}, {">", [](std::partial_ordering o) { return o > 0; }},
    {"<=", [](std::partial_ordering o) { return o <= 0; }}, {"<", [](std::partial_ordering o) { return o < 0; }},
    {"=", [](std::partial_ordering o) { return o == 0; }},  {"<>", [](std::partial_ordering o) { return o != 0; }},
};

[[noreturn]] void unknown(const SymbolTable& symbols, const std::string& name, std::string_view what) {
    std::string message = "program " + symbols.program + " has no " + std::string(what) + " " + name;
    const auto close = symbols.close_names(name);
    if (!close.empty()) message += " (did you mean " + close.front() + "?)";
    throw Failure(message);
}

const Symbol& bool_symbol(const SymbolTable& symbols, const std::string& name, std::string_view what) {
    const Symbol* s = symbols.find(name);
    if (s == nullptr) unknown(symbols, name, what);
    if (s->type != CellType::Bool) throw Failure(name + " is not a bool variable and cannot be tested");
    return *s;
}

// What a name stands for in a condition: a cell (by the controller's name,
// or raw as B5 or I523), or a TIME held in the two int cells NAME.days and
// NAME.ticks.
struct Operand {
    CellType type = CellType::Bool;
    std::int32_t index = 0;
    std::int32_t ticks = -1;  // a TIME's ticks cell; index is then its days cell
    bool time() const { return ticks >= 0; }
};

Operand operand_named(const SymbolTable& symbols, const std::string& name) {
    if (const Symbol* s = symbols.find(name)) return {s->type, s->index};
    if (const auto raw = raw_cell(name, symbols.counts)) return {raw->type, raw->index};
    const auto time = symbols.time_named(name);
    if (!time) unknown(symbols, name, "variable");
    return {CellType::Int, time->days->index, time->ticks->index};
}

std::string a_type(CellType type) { return (type == CellType::Int ? "an " : "a ") + std::string(type_name(type)); }

// A side's value now: ticks for a TIME, else a double, which holds every
// int, float and char value exactly; none when a cell lies outside the block.
using Amount = std::variant<std::int64_t, double>;

template <class Cell> std::optional<Amount> number_in(const BlockView& block, std::int32_t index) {
    const Cell* cell = block.cell<Cell>(index);
    if (cell == nullptr) return std::nullopt;
    return Amount(static_cast<double>(cur(*cell)));
}

// An integer against a double, exactly: converting a total of ticks to
// double would round it beyond 2^53.
std::partial_ordering compare_exact(std::int64_t value, double constant) {
    constexpr double kTwo63 = 9223372036854775808.0;
    if (std::isnan(constant)) return std::partial_ordering::unordered;
    if (constant >= kTwo63) return std::partial_ordering::less;
    if (constant < -kTwo63) return std::partial_ordering::greater;
    const double floor = std::floor(constant);
    const auto whole = static_cast<std::int64_t>(floor);  // -2^63 <= floor < 2^63
    if (value != whole) return value <=> whole;
    return floor == constant ? std::partial_ordering::equivalent : std::partial_ordering::less;
}

std::partial_ordering order_of(const Amount& left, const Amount& right) {
    return std::visit(
        [](auto a, auto b) -> std::partial_ordering {
            if constexpr (std::is_same_v<decltype(a), decltype(b)>) {
                return a <=> b;
            } else if constexpr (std::is_same_v<decltype(a), std::int64_t>) {
                return compare_exact(a, b);
            } else {
                return 0 <=> compare_exact(b, a);
            }
        },
        left, right);
}

}  // namespace

Condition Condition::compile(std::string_view text, const SymbolTable& symbols) {
    const auto parsed = grafcet::parse_expression(text);
    if (!parsed.expression)
        throw Failure("column " + std::to_string(parsed.error.column) + ": " + parsed.error.message);
    Condition c;
    c.text_ = std::string(text);
    c.root_ = bind(*parsed.expression, symbols);
    return c;
}

Condition::Node Condition::bind(const Expression& e, const SymbolTable& symbols) {
    Node node;
    switch (e.kind) {
        case Expression::Kind::Variable: {
            const Operand operand = operand_named(symbols, e.name);
            if (operand.time())
                throw Failure(e.name + " is a TIME, not a condition: compare it with a duration, for example " + e.name +
                              " >= 1 s");
            if (operand.type != CellType::Bool)
                throw Failure(e.name + " is " + a_type(operand.type) +
                              " variable, not a condition: compare it with a number, for example " + e.name + " >= 1");
            node.index = operand.index;
            break;
        }
        case Expression::Kind::Step:
            node.index = bool_symbol(symbols, "X_" + std::to_string(e.step), "step").index;
            break;
        case Expression::Kind::StepTime: {
            bool_symbol(symbols, "X_" + std::to_string(e.step), "step");
            const Symbol* timer = symbols.find("TIMER_" + std::to_string(e.step));
            if (timer == nullptr || timer->type != CellType::Int)
                throw Failure("step " + std::to_string(e.step) + " of program " + symbols.program +
                              " has no timer, so t(X_" + std::to_string(e.step) + ") cannot be tested");
            node.kind = Node::Kind::Time;
            node.index = timer->index;
            node.seconds = e.seconds;
            break;
        }
        case Expression::Kind::Compare: return bind_compare(e, symbols);
        case Expression::Kind::Not:
        case Expression::Kind::And:
        case Expression::Kind::Or:
            node.kind = e.kind == Expression::Kind::Not   ? Node::Kind::Not
                        : e.kind == Expression::Kind::And ? Node::Kind::And
                                                          : Node::Kind::Or;
            for (const auto& operand : e.operands) node.operands.push_back(bind(operand, symbols));
            break;
    }
    return node;
}

Condition::Node Condition::bind_compare(const Expression& e, const SymbolTable& symbols) {
    Node node;
    node.kind = Node::Kind::Compare;
    const auto relation = std::find_if(std::begin(kRelations), std::end(kRelations),
                                       [&](const Relation& r) { return r.text == e.relation; });
    if (relation == std::end(kRelations)) throw Failure("'" + e.relation + "' is not a relation");
    node.relation = static_cast<std::size_t>(relation - std::begin(kRelations));

    auto quantity = [&](const std::string& name) {
        const Operand operand = operand_named(symbols, name);
        if (operand.type == CellType::Bool)
            throw Failure(name + " is a bool variable and cannot be compared: test it as it is (" + name + ", or not " +
                          name + ")");
        if (operand.time()) return Quantity{Quantity::Kind::Time, CellType::Int, operand.index, operand.ticks};
        return Quantity{Quantity::Kind::Cell, operand.type, operand.index};
    };
    auto what = [](const std::string& name, const Quantity& q) {
        return name + " is " + (q.kind == Quantity::Kind::Time ? std::string("a TIME") : a_type(q.type) + " variable");
    };
    node.left = quantity(e.name);
    const bool time = node.left.kind == Quantity::Kind::Time;
    if (!e.other.empty()) {
        node.right = quantity(e.other);
        if (time != (node.right.kind == Quantity::Kind::Time))
            throw Failure(what(e.name, node.left) + " and " + what(e.other, node.right) + ": they cannot be compared");
        return node;
    }
    const std::string written = e.name + " " + e.relation + " " + e.duration;
    if (time && e.unit.empty())
        throw Failure(e.name + " is a TIME: give the constant a unit, s or ms (for example " + written + " s)");
    if (!time && !e.unit.empty())
        throw Failure(what(e.name, node.left) + ", not a TIME: write the constant without a unit (" + written + ")");
    node.right.constant = time ? e.seconds * kTicksPerSecond : e.seconds;
    // Held in the cell's own precision; beyond the float range it stays as
    // it is, above or below every finite float all the same.
    if (node.left.type == CellType::Float && std::fabs(node.right.constant) <= std::numeric_limits<float>::max())
        node.right.constant = static_cast<float>(node.right.constant);
    return node;
}

std::optional<std::variant<std::int64_t, double>> Condition::amount(const Quantity& q, const BlockView& block) {
    switch (q.kind) {
        case Quantity::Kind::Constant: return Amount(q.constant);
        case Quantity::Kind::Time: {
            const IntCell* days = block.cell<IntCell>(q.index);
            const IntCell* ticks = block.cell<IntCell>(q.ticks);
            if (days == nullptr || ticks == nullptr) return std::nullopt;
            return Amount(time_ticks(cur(*days), cur(*ticks)));
        }
        case Quantity::Kind::Cell: break;
    }
    switch (q.type) {
        case CellType::Int: return number_in<IntCell>(block, q.index);
        case CellType::Float: return number_in<FloatCell>(block, q.index);
        case CellType::Char: return number_in<CharCell>(block, q.index);
        case CellType::Bool: break;
    }
    return std::nullopt;
}

bool Condition::compare(const Node& node, const BlockView& block) {
    const auto left = amount(node.left, block);
    const auto right = amount(node.right, block);
    return left && right && kRelations[node.relation].holds(order_of(*left, *right));
}

bool Condition::evaluate(const BlockView& block) const {
    const FloatCell* period = block.cell<FloatCell>(10);
    return evaluate(root_, block, period != nullptr ? static_cast<double>(cur(*period)) : std::nan(""));
}

bool Condition::evaluate(const Node& node, const BlockView& block, double period) {
    switch (node.kind) {
        case Node::Kind::Cell: {
            const BoolCell* cell = block.cell<BoolCell>(node.index);
            return cell != nullptr && cur(*cell);
        }
        case Node::Kind::Time: {
            const IntCell* timer = block.cell<IntCell>(node.index);
            if (timer == nullptr) return false;
            const double passes = static_cast<std::uint32_t>(cur(*timer));
            const double needed = node.seconds * 1000000.0 / period;
            return !std::isnan(needed) && passes >= needed;
        }
        case Node::Kind::Compare: return compare(node, block);
        case Node::Kind::Not: return !evaluate(node.operands.front(), block, period);
        case Node::Kind::And:
            for (const auto& o : node.operands)
                if (!evaluate(o, block, period)) return false;
            return true;
        case Node::Kind::Or: break;
    }
    for (const auto& o : node.operands)
        if (evaluate(o, block, period)) return true;
    return false;
}

}  // namespace vx::console
