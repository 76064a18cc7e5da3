// Values of the four cell kinds as the console reads, writes and prints them,
// and the writes the console makes into a cell. Every write keeps the cell
// format bit for bit: setting a bool touches bit 0 only, forcing rewrites
// cur, prev and the forced flag, and no reserved bit is ever written.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "vx/block.hpp"
#include "vx/console/error.hpp"
#include "vx/time_cells.hpp"

namespace vx::console {

// One value, in the alternative of its cell kind (order of CellType).
using Value = std::variant<bool, std::int32_t, float, std::uint8_t>;

// A variable: a cell of one type, and the name it is shown by (the
// controller's name, or the raw form such as "B5").
struct VarRef {
    CellType type = CellType::Bool;
    std::int32_t index = 0;
    std::string name;

    std::string raw() const;    // "B5"
    std::string label() const;  // "jour (B5)", or "B5" for a raw reference
};

// "B5", "I523", "F10", "C3": a type letter and a decimal index.
bool looks_raw(std::string_view text);

// The cell that a raw name designates, or none when `text` is not raw. A
// huge index is held at 2^31, which lies outside every area.
struct RawCell {
    CellType type = CellType::Bool;
    std::int64_t index = 0;
};
std::optional<RawCell> parse_raw(std::string_view text);

// A raw name checked against the areas' cell counts (bool, int, float,
// char): none when `text` is not raw, a Failure when the index lies outside
// its area ("B99 lies outside the bool area (cells 0 to 15)").
std::optional<VarRef> raw_cell(std::string_view text, const std::array<std::int32_t, kCellTypes>& counts);

// Parses `text` as a value of `type`: bool 0/1/true/false, int a decimal
// int32, float a decimal or "nan"/"inf" within float range, char a number
// 0 to 255 or one character in single quotes. A Failure says why not.
Value parse_value(CellType type, std::string_view text);

// The value as the console prints it: bool 0/1, int decimal, float the
// shortest text that reads back the same, char its code (and the printable
// character in quotes).
std::string format_value(const Value& value);

// A TIME value in ticks of 100 us, from its two int cells. At most 2^31 days
// of kTicksPerDay ticks and 2^31 ticks: within 2^61, no overflow.
constexpr std::int64_t time_ticks(std::int32_t days, std::int32_t ticks) { return days * kTicksPerDay + ticks; }

struct CellState {
    Value cur;
    Value prev;
    bool forced = false;
};

// Calls f(cell) with the cell of the right kind; a Failure when the index
// lies outside its area (the block's own counts decide).
template <class F> decltype(auto) with_cell(const BlockView& block, CellType type, std::int32_t index, F&& f) {
    auto checked = [&](auto* cell) -> decltype(auto) {
        if (cell == nullptr)
            throw Failure(std::string(1, kTypeLetter[static_cast<std::size_t>(type)]) + std::to_string(index) +
                          " lies outside its area (" + std::to_string(block.count(type)) + " cells)");
        return f(*cell);
    };
    switch (type) {
        case CellType::Bool: return checked(block.cell<BoolCell>(index));
        case CellType::Int: return checked(block.cell<IntCell>(index));
        case CellType::Float: return checked(block.cell<FloatCell>(index));
        case CellType::Char: break;
    }
    return checked(block.cell<CharCell>(index));
}

CellState read_cell(const BlockView& block, const VarRef& ref);
Value read_cur(const BlockView& block, const VarRef& ref);

// The simulator's write: cur only (bit 0 of a bool cell).
void write_cur(const BlockView& block, const VarRef& ref, const Value& value);

// Forcing and unforcing, through the runtime's own protocol (vx/forcing.hpp):
// the value into cur and prev, then the forced flag (a bool cell in one byte
// write). Unforcing clears the flag and leaves the values.
void force(const BlockView& block, const VarRef& ref, const Value& value);
void unforce(const BlockView& block, const VarRef& ref);
bool is_forced(const BlockView& block, const VarRef& ref);

}  // namespace vx::console
