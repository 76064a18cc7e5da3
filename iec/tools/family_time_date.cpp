// The time and date entries, from tables/time.def.
#include <algorithm>
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

struct Form {
    std::string_view name;
    std::string_view result;  // `T` is the row's type
    std::string_view params;
};

constexpr Form kForms[] = {
    {"select", "T", "bool G, T IN0, T IN1"},
    {"mux", "T", "int K, T IN0, T IN1, T IN2, T IN3, T IN4, T IN5, T IN6, T IN7, T IN8, T IN9"},
    {"binary", "T", "T IN1, T IN2"},
    {"limit", "T", "T MN, T IN, T MX"},
    {"compare", "bool", "T IN1, T IN2"},
};

const Form& form(std::string_view name) {
    for (const Form& f : kForms) {
        if (f.name == name) return f;
    }
    throw std::runtime_error("unknown form '" + std::string(name) + "' in time.def");
}

// `token` with the placeholder type T replaced by `type`.
std::string typed(std::string_view token, std::string_view type) { return std::string(token == "T" ? type : token); }

std::vector<Param> typed_params(std::string_view pattern, std::string_view type) {
    std::string text;
    for (const std::string& item : split_list(pattern)) {
        const auto space = std::min(item.find(' '), item.size());
        text += (text.empty() ? "" : ", ") + typed(item.substr(0, space), type) + item.substr(space);
    }
    return parse_params(text);
}

// "function(a, b)" -> "function(a, b, code)"
std::string with_code(std::string call, std::string_view code) {
    call.insert(call.size() - 1, ", " + std::string(code));
    return call;
}

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
                         with_code(call_with(kNamespace + "divide", params), std::to_string(div_code))});
}

void add_ordered(Family& f, std::string_view op, std::string_view form_name, std::string_view codes_text) {
    const auto codes = split_list(codes_text);
    if (codes.size() != kTypes.size()) throw std::runtime_error("time.def row " + std::string(op) + " is not 4 wide");
    const Form& shape = form(form_name);
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        const auto params = typed_params(shape.params, kTypes[i]);
        const std::string function =
            kNamespace + std::string(op) + "<" + kNamespace + "Kind::" + std::string(kTypes[i]) + ">";
        const std::string call = call_with(function, params);
        f.entries.push_back({typed(shape.result, kTypes[i]), std::string(op) + "_" + std::string(kTypes[i]) + "_OUT",
                             params, codes[i] == "none" ? call : with_code(call, codes[i])});
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
