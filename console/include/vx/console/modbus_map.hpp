// The Modbus address map of a controller program: which variable answers at
// which address of which of the four Modbus tables, in how many registers,
// and whether a client may write it. The default map is derived from the
// program's symbol file alone, so it is the same on every run and after every
// regeneration of an unchanged description; a CSV file in the columns that
// --print-map writes replaces it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vx/console/symbols.hpp"
#include "vx/console/values.hpp"

namespace vx::console::modbus {

enum class Table : std::uint8_t { Coil, DiscreteInput, HoldingRegister, InputRegister };
inline constexpr std::size_t kTables = 4;
inline constexpr std::array<std::string_view, kTables> kTableNames{"coil", "discrete_input", "holding_register",
                                                                    "input_register"};
constexpr bool bit_table(Table t) { return t == Table::Coil || t == Table::DiscreteInput; }
constexpr bool writable_table(Table t) { return t == Table::Coil || t == Table::HoldingRegister; }

// How a value is laid out in the table: a bool in one bit; an int (DINT) and
// a REAL in two registers; a char in one register (0 to 255); a TIME (two
// int cells, days and ticks) as its signed count of 100 us ticks in four
// registers; `status` is the control register (one register, the execution
// status: 1 STOP, 2 RUN, 3 STEP, 4 END).
enum class Kind : std::uint8_t { Bool, Int, Real, Char, Time, Status };
inline constexpr std::array<std::string_view, 6> kKindNames{"bool", "int", "real", "char", "time", "status"};
inline constexpr std::array<std::uint16_t, 6> kKindWidth{1, 2, 2, 1, 4, 1};

// Fixed addresses of the default map: the program's state in the input
// registers below 100, the variables' registers from 100 on (so that the
// fixed part can grow without moving them), the control register at holding
// register 0, and, with --write-outputs, writable copies of the outputs from
// coil 1000 and holding register 1000.
inline constexpr std::uint16_t kFirstVariableRegister = 100;
inline constexpr std::uint16_t kControlRegister = 0;
inline constexpr std::uint16_t kFirstOutputCopy = 1000;
inline constexpr std::string_view kControlName = "control";

// Which variables a client may write: inputs, outputs with --write-outputs,
// and the control register with --control. Every other variable is read only
// whatever a map says.
struct WriteRules {
    bool write_outputs = false;
    bool control = false;
};

struct Entry {
    std::string name;
    Kind kind = Kind::Bool;
    Table table = Table::Coil;
    std::uint16_t address = 0;
    std::uint16_t width = 1;  // bits or registers
    bool writable = false;
    Role role = Role::Input;
    VarRef cell;                     // the value's cell (a TIME's days)
    std::optional<VarRef> ticks;     // a TIME's ticks cell
    std::uint32_t last() const { return std::uint32_t{address} + width - 1; }
};

class AddressMap {
public:
    AddressMap() = default;
    explicit AddressMap(std::vector<Entry> entries);

    const std::vector<Entry>& entries() const { return entries_; }
    // The entry holding `address` in `table`, or none.
    const Entry* at(Table table, std::uint16_t address) const;

private:
    std::vector<Entry> entries_;
    // Per table, the entry index + 1 of every address (0: unmapped).
    std::array<std::vector<std::uint32_t>, kTables> lookup_;
};

// The default map of a program (a Failure when a symbol's cell lies outside
// the counts the file declares).
AddressMap default_map(const SymbolTable& symbols, const WriteRules& rules);

// Reads a map file's text: a header line "name,type,table,address,registers,access"
// (optional), then one entry a line; blank lines and lines starting with '#'
// are skipped. A line that names an unknown variable, gives a type, a table
// or a width that does not fit the variable, overlaps an earlier line, runs
// past address 65535, or lets a client write what the rules keep read only
// is refused as "<origin>:<line>: <what>" (a Failure).
AddressMap parse_map(std::string_view text, const std::string& origin, const SymbolTable& symbols,
                     const std::array<std::int32_t, kCellTypes>& counts, const WriteRules& rules);

// The map as CSV, header line first; parse_map reads it back.
std::string format_map(const AddressMap& map);

}  // namespace vx::console::modbus
