// Conditions over a controller's cells, written in the receptivity notation
// of the controller descriptions ("not (vertA & vertB)", "X_14 | X_16",
// "t(X_23) >= 1 s", "c1.CV >= 5", "t1.ET >= 2 s", "box1.x > 3.5"),
// evaluated the way the controller evaluates its own receptivities.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
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
    //
    // A comparison reads int, float and char cells (a char by its code) and
    // compares them exactly with the constant or with each other; a float
    // cell's constant is first rounded to float, so that "box.x = 0.1" holds
    // when the cell was set to 0.1. A NaN satisfies only <>. A TIME
    // (NAME.days and NAME.ticks) is its total in ticks of 100 us, days x
    // 864000000 + ticks, against a constant in seconds x 10000 or another
    // TIME, exactly.
    bool evaluate(const BlockView& block) const;

    const std::string& text() const { return text_; }

private:
    // A side of a comparison: a constant, an int, float or char cell, or a
    // TIME (its days and ticks cells).
    struct Quantity {
        enum class Kind { Constant, Cell, Time } kind = Kind::Constant;
        CellType type = CellType::Int;  // Cell
        std::int32_t index = 0;         // Cell; Time: the days cell
        std::int32_t ticks = 0;         // Time: the ticks cell
        double constant = 0.0;          // Constant: the number, in ticks against a TIME
    };
    struct Node {
        enum class Kind { Cell, Time, Compare, Not, And, Or } kind = Kind::Cell;
        std::int32_t index = 0;    // Cell: bool cell; Time: int cell of the timer
        double seconds = 0.0;      // Time: D
        std::size_t relation = 0;  // Compare: the entry of the relation table
        Quantity left, right;      // Compare
        std::vector<Node> operands;
    };
    static Node bind_compare(const grafcet::Expression& e, const SymbolTable& symbols);
    static bool compare(const Node& node, const BlockView& block);
    static std::optional<std::variant<std::int64_t, double>> amount(const Quantity& q, const BlockView& block);
    static Node bind(const grafcet::Expression& e, const SymbolTable& symbols);
    static bool evaluate(const Node& node, const BlockView& block, double period);

    std::string text_;
    Node root_;
};

}  // namespace vx::console
