// The symbol file beside each controller program (<program>.vars): how tools
// name the program's cells. The generator writes it; the console and the
// tests read it; the program itself never does.
//
//   # Symbols of controller tarvo (unit unitA, graph tarvo); generated, do not edit.
//   program tarvo
//   counts 28 532 17 53                  bool, int, float and char cells
//   jour B 5 input                       <name> <B|I|F|C> <index> <role>
//   TIMER_21 I 523 timer                 ...one record per variable
//   object belt belt actor 540 17        object <name> <model> <actor|product>
//                                          <status int cell> <first matrix float cell>
//
// Plain text, one record per line, fields separated by spaces or tabs; '#'
// starts a comment line and blank lines are ignored. The records follow the
// allocation order, and a name appears once. This module is the only place
// that knows the format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "vx/block.hpp"

namespace vx::grafcet {

enum class Role : std::uint8_t { Input, Output, Step, Previous, Timer, Control, Block, Object };

// The role as the file writes it: input, output, step, prev, timer, control,
// block (an output of a function block), object (a cell of an actor or a
// product: its status, its position, its own variables).
std::string_view role_name(Role role);

// The type as the file writes it (B, I, F, C), and as messages name it
// (bool, int, float, char).
constexpr char type_letter(CellType type) { return kTypeLetter[static_cast<std::size_t>(type)]; }
std::optional<CellType> type_from_letter(char letter);
std::string_view type_name(CellType type);

struct Symbol {
    std::string name;
    CellType type = CellType::Bool;
    std::int32_t index = 0;
    Role role = Role::Input;

    bool operator==(const Symbol&) const = default;
};

// An actor or a product slot of the plant: its status int cell (1 alive,
// 2 killed) and the first of the 16 float cells of its placement matrix
// (row-major; the position is in cells 3, 7 and 11).
struct ObjectRecord {
    std::string name;
    std::string model;
    bool actor = true;  // else a product slot
    std::int32_t status = 0;
    std::int32_t matrix = 0;

    bool operator==(const ObjectRecord&) const = default;
};

inline constexpr std::int32_t kMatrixCells = 16;

// The cells of a placement matrix that hold the object's position (its
// translation): x, y and z, counted from the matrix's first cell.
inline constexpr std::array<std::int32_t, 3> kPositionCells{3, 7, 11};

struct SymbolFile {
    std::string program;
    std::array<std::int32_t, kCellTypes> counts{};  // bool, int, float, char
    std::vector<Symbol> symbols;                    // the file's order, which is allocation order
    std::vector<ObjectRecord> objects;              // actors first, then product slots

    const Symbol* find(std::string_view name) const;

    bool operator==(const SymbolFile&) const = default;
};

// A symbol file that does not follow the format: "<origin>:<line>: <what>".
class SymbolFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The text of the file, opened by `heading` as a comment line.
std::string format_symbol_file(const SymbolFile& file, std::string_view heading);

// Reads a symbol file's text; `origin` names it in the errors. Every index is
// checked against the file's own counts, so that a tool which has compared
// those counts with a block's can use the indexes on that block.
SymbolFile parse_symbol_file(std::string_view text, const std::string& origin);

}  // namespace vx::grafcet
