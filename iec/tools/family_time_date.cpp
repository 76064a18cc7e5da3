// The time and date entries, from tables/time.def.
#include <array>
#include <stdexcept>
#include <string>

#include "entries.hpp"

namespace iecgen {
namespace {

const std::string kNamespace = "iec::time_date::";

// The columns of the selection and comparison matrix, and the C++ names of
// the types that the operations are instantiated for.
constexpr std::array<std::string_view, 4> kTypes{"time", "date", "tod", "dt"};

Entry time_function(std::string_view result, std::string_view name, std::string_view params,
                    std::string_view function) {
    const auto parsed = parse_params(params);
    return {std::string(result), std::string(name), parsed, call_with(kNamespace + std::string(function), parsed)};
}

void add_scale(Family& f, std::string_view type, std::string_view operand, int div_code) {
    const std::string t(type);
    const auto params = parse_params("time T, " + t + " " + std::string(operand));
    f.entries.push_back({"time", "mul_t_" + t + "_OUT", params, call_with(kNamespace + "multiply", params)});
    f.entries.push_back({"time", "div_t_" + t + "_OUT", params,
                         append_argument(call_with(kNamespace + "divide", params), std::to_string(div_code))});
}

void add_ordered(Family& f, std::string_view op, std::string_view form_name, std::string_view codes_text) {
    const auto codes = split_list(codes_text);
    if (codes.size() != kTypes.size()) throw std::runtime_error("time.def row " + std::string(op) + " is not 4 wide");
    const Form& shape = form(form_name);
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        const auto params = typed_params(shape, kTypes[i]);
        const std::string function =
            kNamespace + std::string(op) + "<" + kNamespace + "Kind::" + std::string(kTypes[i]) + ">";
        const std::string call = call_with(function, params);
        f.entries.push_back({typed(shape.result, kTypes[i]), std::string(op) + "_" + std::string(kTypes[i]) + "_OUT",
                             params, codes[i] == "none" ? call : append_argument(call, codes[i])});
    }
}

}  // namespace

Family time_date() {
    Family f{"Time and date arithmetic, selection and comparison", {}};
#define IEC_TIME(result, name, params, function) f.entries.push_back(time_function(#result, #name, #params, #function));
#define IEC_TIME_SCALE(type, operand, code) add_scale(f, #type, #operand, code);
#define IEC_ORDERED(op, form, ...) add_ordered(f, #op, #form, #__VA_ARGS__);
#include "time.def"
#undef IEC_TIME
#undef IEC_TIME_SCALE
#undef IEC_ORDERED
    return f;
}

}  // namespace iecgen
