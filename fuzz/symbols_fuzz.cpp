// Symbol files, as the console and the tests read them: a file that the
// reader accepts writes back into a file that reads as the same symbols.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "vx/grafcet/symbol_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    vx::grafcet::SymbolFile file;
    try {
        file = vx::grafcet::parse_symbol_file(text, "fuzz.vars");
    } catch (const vx::grafcet::SymbolFileError&) {
        return 0;
    }
    try {
        if (vx::grafcet::parse_symbol_file(vx::grafcet::format_symbol_file(file, "again"), "again.vars") != file)
            std::abort();
    } catch (const vx::grafcet::SymbolFileError&) {
        std::abort();  // a file that was read must write back readable
    }
    return 0;
}
