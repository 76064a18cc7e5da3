// Trace files, as `vxctl trace export` reads them, named through the
// conveyor's symbols and written as a Value Change Dump and as CSV.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string_view>

#include "vx/console/error.hpp"
#include "vx/console/symbols.hpp"
#include "vx/console/waveform.hpp"

namespace {

const vx::console::SymbolTable& symbols() {
    static const vx::console::SymbolTable table = vx::console::load_symbols(VX_FUZZ_SYMBOL_FILE);
    return table;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    try {
        const auto trace = vx::console::parse_trace(text, "fuzz.trc", &symbols(), symbols().counts);
        for (const auto format : {vx::console::WaveWriter::Format::Vcd, vx::console::WaveWriter::Format::Csv}) {
            std::ostringstream out;
            vx::console::write_trace_waveform(trace, format, "fuzz", out);
        }
    } catch (const vx::console::Failure&) {
    }
    return 0;
}
