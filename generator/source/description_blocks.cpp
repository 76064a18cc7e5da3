// Function blocks: 'block <name> <TYPE> <input> = <value>, ...', an entry of
// the IEC library's block table with its inputs given as constants or
// receptivities.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "description_reader.hpp"

namespace vx::grafcet::reading {

namespace {

// The first word of `text` and what follows it.
std::pair<std::string_view, std::string_view> first_word(std::string_view text) {
    text = trim(text);
    std::size_t end = 0;
    while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) && text[end] != ',') ++end;
    return {text.substr(0, end), text.substr(end)};
}

bool read_bool_input(Reader& r, const Block& block, BlockInput& input, std::string_view pin, int line) {
    if (input.text == "TRUE" || input.text == "FALSE") {
        input.value = input.text == "TRUE" ? 1 : 0;
        return true;
    }
    ParsedExpression parsed = parse_expression(input.text);
    if (!parsed.expression) {
        r.error(line, "malformed input " + std::string(pin) + " of block " + quoted(block.name) + " at column " +
                          std::to_string(parsed.error.column) + ": " + parsed.error.message);
        return false;
    }
    input.expression = std::move(*parsed.expression);
    return true;
}

// A duration: a number of seconds or milliseconds, held in ticks of
// 100 us; what a TIME can hold with its days in a DINT.
bool read_time_input(Reader& r, const Block& block, BlockInput& input, std::string_view pin, int line) {
    const auto w = words(input.text);
    const double scale = w.size() == 2 && w[1] == "s" ? 10000.0 : w.size() == 2 && w[1] == "ms" ? 10.0 : 0.0;
    double amount = -1.0;
    if (scale != 0.0) {
        const std::string number(w[0]);
        char* end = nullptr;
        amount = std::strtod(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size() || !std::isdigit(static_cast<unsigned char>(number.back())))
            amount = -1.0;
    }
    constexpr double kLongest = 1.8e18;  // ticks: 2^31 days and a little less
    if (!(amount >= 0.0 && amount * scale <= kLongest)) {
        r.error(line, "input " + std::string(pin) + " of block " + quoted(block.name) +
                          " takes a duration such as '3 s' or '250 ms', not " + quoted(input.text));
        return false;
    }
    input.value = std::llround(amount * scale);
    return true;
}

bool read_block_input(Reader& r, Block& block, std::vector<bool>& given, std::string_view item, int line) {
    const std::size_t eq = item.find('=');
    if (item.empty() || eq == std::string_view::npos) {
        r.error(line, "expected '<input> = <value>' in block " + quoted(block.name) + ", found " + quoted(item));
        return false;
    }
    const std::string_view pin_name = trim(item.substr(0, eq));
    const std::string_view value = trim(item.substr(eq + 1));
    const auto pins = block.type().inputs();
    const auto pin = std::find_if(pins.begin(), pins.end(), [&](const BlockPin& p) { return p.name == pin_name; });
    if (pin == pins.end()) {
        std::string known;
        for (const BlockPin& p : pins) known += (known.empty() ? "" : ", ") + std::string(p.name);
        r.error(line, std::string(block.type().type) + " has no input " + quoted(pin_name) + " (its inputs: " +
                          known + ")");
        return false;
    }
    const auto k = static_cast<std::size_t>(pin - pins.begin());
    if (given[k]) {
        r.error(line, "input " + std::string(pin_name) + " of block " + quoted(block.name) + " is given twice");
        return false;
    }
    given[k] = true;
    BlockInput& input = block.inputs[k];
    input.text = std::string(value);
    switch (pin->type) {
        case PinType::Bool: return read_bool_input(r, block, input, pin_name, line);
        case PinType::Time: return read_time_input(r, block, input, pin_name, line);
        case PinType::Int: break;
    }
    const auto number = whole_number<std::int16_t>(value);
    if (!number) {
        r.error(line, "input " + std::string(pin_name) + " of block " + quoted(block.name) +
                          " takes a whole number from -32768 to 32767, not " + quoted(value));
        return false;
    }
    input.value = *number;
    return true;
}

}  // namespace

// block <name> <TYPE> [<PIN> = <value>, ...]
void read_block(Reader& r, std::string_view rest, int line) {
    const auto [name, after_name] = first_word(rest);
    const auto [type, inputs] = first_word(after_name);
    if (name.empty() || type.empty() || type.find('=') != std::string_view::npos) {
        r.error(line, "a block is written 'block <name> <TYPE> <input> = <value>, ...'");
        return;
    }
    if (!r.plant_name(name, line, "block")) return;
    const auto kind = std::find_if(kBlockKinds.begin(), kBlockKinds.end(),
                                   [&](const BlockKind& k) { return k.type == type; });
    if (kind == kBlockKinds.end()) {
        std::string known;
        for (const BlockKind& k : kBlockKinds) known += (known.empty() ? "" : ", ") + std::string(k.type);
        r.error(line, "unknown function block " + quoted(type) + ": expected one of " + known);
        return;
    }
    Block block;
    block.name = std::string(name);
    block.kind = static_cast<std::size_t>(kind - kBlockKinds.begin());
    block.line = line;
    block.inputs.resize(kind->input_count);
    std::vector<bool> given(kind->input_count, false);
    // The inputs, "PIN = value" separated by commas (a receptivity holds
    // no comma).
    bool ok = true;
    for (std::string_view items = inputs; ok && !trim(items).empty();) {
        const std::size_t comma = items.find(',');
        ok = read_block_input(r, block, given, trim(items.substr(0, comma)), line);
        items = comma == std::string_view::npos ? std::string_view{} : items.substr(comma + 1);
    }
    for (std::size_t k = 0; k < kind->input_count && ok; ++k) {
        if (given[k]) continue;
        if (kind->input_pins[k].type != PinType::Bool) {
            r.error(line, "block " + quoted(block.name) + " needs its input " + std::string(kind->input_pins[k].name));
            ok = false;
        }
        block.inputs[k].text = "FALSE";  // a BOOL input left out
    }
    if (ok && r.new_top_name(block.name, line)) r.graph.blocks.push_back(std::move(block));
}

void check_blocks(Reader& r) {
    for (const Block& b : r.graph.blocks) {
        for (std::size_t k = 0; k < b.inputs.size(); ++k) {
            if (b.inputs[k].expression)
                r.check_expression(b.line, "input " + std::string(b.type().input_pins[k].name) + " of block " +
                                               quoted(b.name), *b.inputs[k].expression);
        }
    }
}

}  // namespace vx::grafcet::reading
