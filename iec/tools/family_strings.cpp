// The string entries, from tables/strings.def.
#include <string>

#include "entries.hpp"

namespace iecgen {
namespace {

Entry string_function(std::string_view result, std::string_view name, std::string_view params,
                      std::string_view function) {
    const auto parsed = parse_params(params);
    return {std::string(result), std::string(name), parsed, call_with("iec::str::" + std::string(function), parsed)};
}

Entry comparison(std::string_view name, std::string_view relation) {
    return {"bool", std::string(name), parse_params("str IN1, str IN2"),
            "iec::boolean(iec::str::order(IN1, IN2) " + std::string(relation) + " 0)"};
}

}  // namespace

Family strings() {
    Family f{"String functions", {}};
#define IEC_STRING(result, name, params, function) f.entries.push_back(string_function(#result, #name, #params, #function));
#define IEC_STRING_COMPARISON(name, relation) f.entries.push_back(comparison(#name, #relation));
#include "strings.def"
#undef IEC_STRING
#undef IEC_STRING_COMPARISON
    return f;
}

}  // namespace iecgen
