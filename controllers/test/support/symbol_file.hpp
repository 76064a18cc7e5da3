// Tests address a controller's cells by name, through the symbol file that
// the build writes beside the program, read as the console reads it.
#pragma once

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>

#include "vx/grafcet/symbol_file.hpp"

namespace vx::controllers {

using grafcet::Role;
using grafcet::Symbol;
using grafcet::SymbolFile;
using grafcet::type_letter;

// Reads `path`; throws on a file that cannot be read or does not follow the
// format.
inline SymbolFile load_symbols(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return grafcet::parse_symbol_file(text.str(), path);
}

// The cell of `name`; throws when the program has no such variable, so that
// a test naming a variable wrongly fails instead of reading another cell.
inline std::int32_t index_of(const SymbolFile& file, std::string_view name) {
    if (const Symbol* s = file.find(name)) return s->index;
    throw std::out_of_range("no symbol " + std::string(name));
}

}  // namespace vx::controllers
