// The symbol file written beside each controller program (<program>.vars):
// the program's name, its four cell counts and one record per variable with
// its type letter, cell index and role. The console names variables through
// it; the program itself never reads it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vx/block.hpp"

namespace vx::console {

enum class Role : std::uint8_t { Input, Output, Step, Prev, Timer, Control };

std::string_view role_name(Role role);

struct Symbol {
    std::string name;
    CellType type = CellType::Bool;
    std::int32_t index = 0;
    Role role = Role::Input;
};

class SymbolTable {
public:
    std::string program;
    std::array<std::int32_t, kCellTypes> counts{};
    std::vector<Symbol> symbols;  // in the file's order, which is allocation order

    const Symbol* find(std::string_view name) const;
    const Symbol* at(CellType type, std::int32_t index) const;
    std::vector<const Symbol*> with_role(Role role) const;

    // Names that are close to `name` (a typing slip or a different case),
    // nearest first, at most `limit`.
    std::vector<std::string> close_names(std::string_view name, std::size_t limit = 3) const;
};

// Reads a symbol file's text; `origin` names it in error messages, which
// have the form "<origin>:<line>: <what>". Every index is checked against
// the file's own counts.
SymbolTable parse_symbols(std::string_view text, const std::string& origin);

// Reads the file at `path` (a Failure when it cannot be read or parsed).
SymbolTable load_symbols(const std::string& path);

std::optional<CellType> type_from_letter(char letter);
std::string_view type_name(CellType type);

}  // namespace vx::console
