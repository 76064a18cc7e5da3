// The conversion entries, from tables/conversions.def.
#include <array>
#include <stdexcept>

#include "entries.hpp"

namespace iecgen {
namespace {

// The columns of the conversion matrix.
constexpr std::array<std::string_view, 8> kTargets{"bool", "byte", "word", "dword", "sint", "int", "dint", "real"};

std::string value_type(std::string_view token) { return c_param_type(token); }

void add_row(Family& f, std::string_view from, std::string_view rules_text) {
    const auto rules = split_list(rules_text);
    if (rules.size() != kTargets.size()) throw std::runtime_error("conversion row " + std::string(from) + " is not 8 wide");
    for (std::size_t i = 0; i < kTargets.size(); ++i) {
        if (rules[i] == "none") continue;
        const std::string to(kTargets[i]);
        f.entries.push_back({to, std::string(from) + "_to_" + to + "_OUT", parse_params(std::string(from) + " IN"),
                             "iec::convert<" + value_type(from) + ", " + value_type(to) + ", iec::Rule::" + rules[i] +
                                 ">(IN)"});
    }
}

void add_truncation(Family& f, std::string_view to) {
    f.entries.push_back({std::string(to), "trunc_real_to_" + std::string(to) + "_OUT", parse_params("real IN"),
                         "iec::truncate<" + value_type(to) + ">(IN)"});
}

void add_bcd(Family& f, std::string_view bits, std::string_view integer) {
    const std::string b(bits), n(integer);
    f.entries.push_back({n, b + "_BCD_to_" + n + "_OUT", parse_params(b + " IN"),
                         "iec::bcd_decode<" + value_type(b) + ", " + value_type(n) + ">(IN)"});
    f.entries.push_back({b, n + "_to_BCD_" + b + "_OUT", parse_params(n + " IN"),
                         "iec::bcd_encode<" + value_type(n) + ", " + value_type(b) + ">(IN)"});
}

void add_to_string(Family& f, std::string_view from, std::string_view format, int capacity) {
    f.entries.push_back({"str", std::string(from) + "_to_string_OUT", parse_params(std::string(from) + " IN"),
                         "iec::to_string<" + value_type(from) + ", iec::Format::" + std::string(format) + ", " +
                             std::to_string(capacity) + ">(IN)"});
}

void add_from_string(Family& f, std::string_view to, std::string_view format, int count) {
    f.entries.push_back({std::string(to), "string_to_" + std::string(to) + "_OUT", parse_params("str IN"),
                         "iec::from_string<" + value_type(to) + ", iec::Format::" + std::string(format) + ", " +
                             std::to_string(count) + ">(IN)"});
}

}  // namespace

Family conversions() {
    Family f{"Type conversions", {}};
#define IEC_CONVERSIONS(from, ...) add_row(f, #from, #__VA_ARGS__);
#define IEC_TRUNCATION(to) add_truncation(f, #to);
#define IEC_BCD(bits, integer) add_bcd(f, #bits, #integer);
#define IEC_TO_STRING(from, format, capacity) add_to_string(f, #from, #format, capacity);
#define IEC_FROM_STRING(to, format, count) add_from_string(f, #to, #format, count);
#include "conversions.def"
#undef IEC_CONVERSIONS
#undef IEC_TRUNCATION
#undef IEC_BCD
#undef IEC_TO_STRING
#undef IEC_FROM_STRING
    return f;
}

}  // namespace iecgen
