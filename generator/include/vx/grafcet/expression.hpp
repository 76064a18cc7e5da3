// Boolean expressions in the receptivity notation of controller
// descriptions, shared by the generator and the console (whose simulator
// checks invariants written the same way):
//
//   expr    := term { '|' term }
//   term    := factor { '&' factor }
//   factor  := 'not' factor | '(' expr ')' | atom
//   atom    := NAME                       an input or output variable
//            | 'X_' N                     the activity of step N
//            | 't(X_' N ')' '>=' D 's'    step N active for D seconds or more
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
    enum class Kind { Variable, Step, StepTime, Not, And, Or };
    Kind kind = Kind::Variable;
    std::string name;      // Variable: the variable's name
    int step = 0;          // Step, StepTime: the step number
    double seconds = 0.0;  // StepTime: D
    std::string duration;  // StepTime: D as written
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
