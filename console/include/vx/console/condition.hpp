// Conditions over a controller's cells, written in the receptivity notation
// of the controller descriptions ("not (vertA & vertB)", "X_14 | X_16",
// "t(X_23) >= 1 s"), evaluated the way the controller evaluates its own
// receptivities.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vx/block.hpp"
#include "vx/console/symbols.hpp"

namespace vx::grafcet {
struct Expression;
}

namespace vx::console {

class Condition {
public:
    // Parses `text` and binds its names through the symbol table; a Failure
    // says what is wrong ("column 5: expected ')'", "unknown variable ...").
    static Condition compile(std::string_view text, const SymbolTable& symbols);

    // Variables and steps by their cur bit; t(X_n) >= D s is true when the
    // step's timer, read as an unsigned 32-bit number of passes, is not less
    // than D x 1000000 / period (the float cell 10, in microseconds), in
    // double; a NaN quotient is false.
    bool evaluate(const BlockView& block) const;

    const std::string& text() const { return text_; }

private:
    struct Node {
        enum class Kind { Cell, Time, Not, And, Or } kind = Kind::Cell;
        std::int32_t index = 0;  // Cell: bool cell; Time: int cell of the timer
        double seconds = 0.0;    // Time: D
        std::vector<Node> operands;
    };
    static Node bind(const grafcet::Expression& e, const SymbolTable& symbols);
    static bool evaluate(const Node& node, const BlockView& block, double period);

    std::string text_;
    Node root_;
};

}  // namespace vx::console
