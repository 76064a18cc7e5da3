// Scenario files, as the console's simulator reads them, with their
// conditions compiled against the symbols of the conveyor, which has every
// kind of name: inputs, steps, block outputs, durations, objects.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "vx/console/condition.hpp"
#include "vx/console/error.hpp"
#include "vx/console/scenario.hpp"
#include "vx/console/symbols.hpp"

namespace {

const vx::console::SymbolTable& symbols() {
    static const vx::console::SymbolTable table = vx::console::load_symbols(VX_FUZZ_SYMBOL_FILE);
    return table;
}

void compile(std::string_view condition) {
    try {
        vx::console::Condition::compile(condition, symbols());
    } catch (const vx::console::Failure&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    vx::console::Scenario scenario;
    try {
        scenario = vx::console::parse_scenario(text, "fuzz.scn");
    } catch (const vx::console::Failure&) {
        return 0;
    }
    for (const auto& invariant : scenario.invariants) compile(invariant.text);
    for (const auto& arrivals : scenario.arrivals) {
        if (!arrivals.until.empty()) compile(arrivals.until);
    }
    return 0;
}
