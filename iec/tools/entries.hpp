// The generator's model of the library's C interface: families of entry
// points, each entry a C signature and the C++ call that carries it out.
// Each family reads its table (tables/<family>.def) in its own source file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace iecgen {

// A parameter or result type is a token of the tables: an IEC type suffix
// (bool, byte, ..., real, time, date, tod, dt, str) or an instance variable
// passed by address (i16_var, i32_var, real_var, time_var).
struct Param {
    std::string type;
    std::string name;
};

struct Entry {
    std::string result;
    std::string name;
    std::vector<Param> params;
    std::string call;  // C++ expression over the parameter names
};

struct Family {
    std::string title;  // one line, for the header's section comment
    std::vector<Entry> entries;
};

// The C spelling of a type token as a parameter and as a result. Unknown
// tokens are a fault of the tables: the generator stops on them.
std::string c_param_type(std::string_view token);
std::string c_result_type(std::string_view token);

// "a, b ,c" -> {"a", "b", "c"}; surrounding parentheses are dropped.
std::vector<std::string> split_list(std::string_view text);

// "(bool CLK, i16_var last_in)" -> {{"bool", "CLK"}, {"i16_var", "last_in"}}.
std::vector<Param> parse_params(std::string_view text);

// "function(a, b, c)" with the names of `params`.
std::string call_with(std::string_view function, const std::vector<Param>& params);

// "function(a, b)" -> "function(a, b, extra)": an error code or a constant
// passed after the parameters.
std::string append_argument(std::string call, std::string_view extra);

// The parameter lists of the operations that exist for many types (the
// matrices of tables): `T` stands for the type of the column.
struct Form {
    std::string_view name;
    std::string_view result;
    std::string_view params;
};
const Form& form(std::string_view name);

// `token`, or `type` when the token is the placeholder T.
std::string typed(std::string_view token, std::string_view type);
std::vector<Param> typed_params(const Form& form, std::string_view type);

// A plain function row: the entry runs iec::<name> with its parameters.
Entry plain(std::string_view result, std::string_view name, std::string_view params);

Family conversions();
Family blocks();
Family strings();
Family time_date();
Family scalar();

}  // namespace iecgen
