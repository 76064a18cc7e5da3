// The console's view of a controller's symbol file (<program>.vars): the file
// as the generator's reader gives it, with the look-ups that commands need.
// The program itself never reads it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "vx/block.hpp"
#include "vx/grafcet/symbol_file.hpp"

namespace vx::console {

using grafcet::Role;
using grafcet::role_name;
using grafcet::Symbol;
using grafcet::type_from_letter;
using grafcet::type_name;

class SymbolTable : public grafcet::SymbolFile {
public:
    SymbolTable() = default;
    explicit SymbolTable(grafcet::SymbolFile file) : grafcet::SymbolFile(std::move(file)) {}

    const Symbol* at(CellType type, std::int32_t index) const;
    std::vector<const Symbol*> with_role(Role role) const;

    // A TIME (a timer's elapsed time) is held in two int cells named
    // NAME.days and NAME.ticks; none unless both exist.
    struct TimeCells {
        const Symbol* days = nullptr;
        const Symbol* ticks = nullptr;
    };
    std::optional<TimeCells> time_named(std::string_view name) const;

    // Names that are close to `name` (a typing slip or a different case),
    // nearest first, at most `limit`.
    std::vector<std::string> close_names(std::string_view name, std::size_t limit = 3) const;
};

// Reads a symbol file's text; `origin` names it in error messages, which
// have the form "<origin>:<line>: <what>" (a Failure).
SymbolTable parse_symbols(std::string_view text, const std::string& origin);

// Reads the file at `path` (a Failure when it cannot be read or parsed).
SymbolTable load_symbols(const std::string& path);

}  // namespace vx::console
