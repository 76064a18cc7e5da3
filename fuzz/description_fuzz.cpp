// Grafcet descriptions, as the generator reads them: a description that the
// reader accepts must also lay out and generate, and its symbol file must
// read back as written.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "vx/grafcet/codegen.hpp"
#include "vx/grafcet/description.hpp"
#include "vx/grafcet/layout.hpp"
#include "vx/grafcet/symbol_file.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto parsed = vx::grafcet::parse_description(text, "fuzz.grafcet");
    if (!parsed.graph) return 0;
    const auto layout = vx::grafcet::derive_layout(*parsed.graph);
    vx::grafcet::generate_modules(*parsed.graph, layout, "fuzz.grafcet");
    const auto symbols = vx::grafcet::generate_symbols(*parsed.graph, layout);
    try {
        vx::grafcet::parse_symbol_file(symbols.text, symbols.name);
    } catch (const vx::grafcet::SymbolFileError&) {
        std::abort();  // the generator wrote a file its own reader refuses
    }
    return 0;
}
