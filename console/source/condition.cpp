#include "vx/console/condition.hpp"

#include <cmath>

#include "vx/console/error.hpp"
#include "vx/grafcet/expression.hpp"

namespace vx::console {
namespace {

using grafcet::Expression;

const Symbol& bool_symbol(const SymbolTable& symbols, const std::string& name, std::string_view what) {
    const Symbol* s = symbols.find(name);
    if (s == nullptr) {
        std::string message = "program " + symbols.program + " has no " + std::string(what) + " " + name;
        const auto close = symbols.close_names(name);
        if (!close.empty()) message += " (did you mean " + close.front() + "?)";
        throw Failure(message);
    }
    if (s->type != CellType::Bool) throw Failure(name + " is not a bool variable and cannot be tested");
    return *s;
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
        case Expression::Kind::Variable:
            node.index = bool_symbol(symbols, e.name, "variable").index;
            break;
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
        case Expression::Kind::Compare: throw Failure(e.name + " cannot be compared with a number here");
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
