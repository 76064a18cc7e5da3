// Boolean expressions in the receptivity notation of controller
// descriptions, shared by the generator and the console (whose simulator
// checks invariants written the same way):
//
//   expr    := term { '|' term }
//   term    := factor { '&' factor }
//   factor  := 'not' factor | '(' expr ')' | atom
//   atom    := NAME                       a bool variable
//            | 'X_' N                     the activity of step N
//            | 't(X_' N ')' '>=' D 's'    step N active for D seconds or more
//            | NAME REL NUMBER [UNIT]     a numeric variable compared with a
//                                         constant; UNIT 's' or 'ms' makes
//                                         the constant a duration
//            | NAME REL NAME              two numeric variables compared
//   NAME    := IDENT { '.' IDENT }        'c1.CV', 'barrier.seen'
//   REL     := '>=' | '>' | '<=' | '<' | '=' | '<>'
//
// `not` binds tighter than `&`, which binds tighter than `|`.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::grafcet {

struct Expression {
    enum class Kind { Variable, Step, StepTime, Compare, Not, And, Or };
    Kind kind = Kind::Variable;
    std::string name;      // Variable, Compare: the variable's name
    int step = 0;          // Step, StepTime: the step number
    double seconds = 0.0;  // StepTime: D; Compare: the constant (in seconds with a unit)
    std::string duration;  // StepTime, Compare: the constant as written
    std::string relation;  // Compare: >=, >, <=, <, = or <>
    std::string unit;      // Compare: "", "s" or "ms"
    std::string other;     // Compare: the variable on the right, instead of a constant
    std::vector<Expression> operands;  // Not: one; And, Or: two or more
};

struct ExpressionError {
    std::size_t column = 0;  // 1-based position in the text
    std::string message;
};

struct ParsedExpression {
    std::optional<Expression> expression;  // set on success
    ExpressionError error;                 // set on failure
};

ParsedExpression parse_expression(std::string_view text);

// The expression written back in the notation, with the parentheses that its
// structure needs and no others.
std::string to_text(const Expression& expression);

}  // namespace vx::grafcet
