// The parameters file: start values that override the generated ones,
// applied once at start-up. It is tied to one build of the controller by the
// signature on its first line; every further line is
//
//   <letter> <index> <value> <comment>
//
// with the letter B, I, F or C. A line that does not split into four fields
// ends the reading; a line for a cell outside its area is skipped.
#include <cctype>
#include <cstdio>

#include "vx/executive.hpp"
#include "vx/numbers.hpp"
#include "vx/runtime.hpp"

namespace vx {
namespace {

constexpr std::size_t kLineLimit = 2047;
constexpr std::size_t kValueLimit = 63;

bool is_space(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::size_t skip_spaces(std::string_view text, std::size_t at) {
    while (at < text.size() && is_space(text[at])) ++at;
    return at;
}

std::string_view token_at(std::string_view text, std::size_t at) {
    std::size_t end = at;
    while (end < text.size() && !is_space(text[end])) ++end;
    return text.substr(at, end - at);
}

// Reads one line of at most kLineLimit characters, as fgets does: a longer
// line is read in pieces. False at the end of the file.
bool read_line(std::FILE* file, std::string& line) {
    char buffer[kLineLimit + 1];
    if (std::fgets(buffer, sizeof buffer, file) == nullptr) return false;
    line.assign(buffer);
    return true;
}

void apply(const BlockView& block, const ParameterLine& line) {
    switch (line.letter) {
        case 'B':
            if (auto* c = block.cell<BoolCell>(line.index)) set_start_value(*c, (atoi_saturating(line.value) & 1) != 0);
            break;
        case 'I':
            if (auto* c = block.cell<IntCell>(line.index)) set_start_value(*c, atoi_saturating(line.value));
            break;
        case 'F':
            if (auto* c = block.cell<FloatCell>(line.index)) set_start_value(*c, to_float(atof_text(line.value)));
            break;
        case 'C':
            if (auto* c = block.cell<CharCell>(line.index))
                set_start_value(*c, static_cast<std::uint8_t>(atoi_saturating(line.value) & 0xFF));
            break;
        default:
            break;  // unknown letter: the line is skipped
    }
}

}  // namespace

std::optional<ParameterLine> parse_parameter_line(std::string_view line) {
    if (line.empty()) return std::nullopt;
    ParameterLine result;
    result.letter = line[0];
    std::size_t at = skip_spaces(line, 1);
    // The index: a decimal number right here (indexes beyond int32 saturate
    // and so fall outside every area).
    std::size_t end = at;
    if (end < line.size() && (line[end] == '+' || line[end] == '-')) ++end;
    const std::size_t digits = end;
    while (end < line.size() && std::isdigit(static_cast<unsigned char>(line[end]))) ++end;
    if (end == digits) return std::nullopt;
    result.index = leading_int(line.substr(at, end - at)).value_or(0);
    at = skip_spaces(line, end);
    const std::string_view value = token_at(line, at);
    if (value.empty() || value.size() > kValueLimit) return std::nullopt;
    result.value = std::string(value);
    at = skip_spaces(line, at + value.size());
    if (token_at(line, at).empty()) return std::nullopt;
    return result;
}

}  // namespace vx

extern "C" int VXD_read_parameters(void) {
    std::FILE* file = std::fopen(paramfilename, "r");
    if (file == nullptr) {
        std::fprintf(stderr, "can't open file %s\n", paramfilename);
        return 0;
    }
    std::string line;
    const bool has_first = vx::read_line(file, line);
    // A number beyond int32 is no signature at all, not the nearest one.
    const auto recorded = has_first ? vx::leading_int_exact(line) : std::nullopt;
    if (!recorded || *recorded != getSignature()) {
        std::fprintf(stderr, "bad signature in file %s\n", paramfilename);
        std::fclose(file);
        return 0;
    }
    const vx::BlockView& block = vx::executive_block();
    while (vx::read_line(file, line)) {
        const auto parsed = vx::parse_parameter_line(line);
        if (!parsed) break;
        vx::apply(block, *parsed);
    }
    std::fclose(file);
    return 1;
}
