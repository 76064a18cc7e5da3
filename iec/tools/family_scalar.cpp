// The entries of tables/scalar.def: a matrix of operations by types, and
// the numeric functions of REAL.
#include <array>
#include <stdexcept>
#include <string>

#include "entries.hpp"

namespace iecgen {
namespace {

// The columns of the matrix.
constexpr std::array<std::string_view, 8> kTypes{"bool", "byte", "word", "dword", "sint", "int", "dint", "real"};

bool is_code(const std::string& cell) { return cell.find_first_not_of("0123456789") == std::string::npos; }

void add_row(Family& f, std::string_view op, std::string_view form_name, std::string_view cells_text) {
    const Form& shape = form(form_name);
    const auto cells = split_list(cells_text);
    if (cells.size() != kTypes.size()) throw std::runtime_error("scalar row " + std::string(op) + " is not 8 wide");
    bool coded = false, uncoded = false;
    for (std::size_t i = 0; i < kTypes.size(); ++i) {
        const std::string& cell = cells[i];
        if (cell == "-") continue;
        if (cell != "none" && (cell.empty() || !is_code(cell))) {
            throw std::runtime_error("scalar row " + std::string(op) + ": bad cell '" + cell + "'");
        }
        (cell == "none" ? uncoded : coded) = true;
        const std::string type(kTypes[i]);
        Entry e{typed(shape.result, type), std::string(op) + "_" + type + "_OUT", typed_params(shape, type), ""};
        e.call = call_with("iec::ops::" + std::string(op) + "_<" + c_param_type(type) + ">", e.params);
        if (cell != "none") e.call = append_argument(e.call, cell);
        f.entries.push_back(std::move(e));
    }
    // The operation takes its code as an argument or it does not.
    if (coded && uncoded) throw std::runtime_error("scalar row " + std::string(op) + " mixes codes and none");
}

void add_numeric(Family& f, std::string_view name, std::string_view domain, std::string_view code) {
    if ((domain == "any") != (code == "none")) {
        throw std::runtime_error("numeric " + std::string(name) + ": a code goes with a domain");
    }
    const std::string n(name);
    f.entries.push_back({"real", n + "_OUT", parse_params("real X"),
                         "iec::ops::numeric(iec::ops::Math::" + n + ", iec::ops::Domain::" + std::string(domain) +
                             ", X, " + (code == "none" ? "0" : std::string(code)) + ")"});
}

}  // namespace

Family scalar() {
    Family f{"Bitwise, selection, comparison, arithmetic and numeric functions", {}};
#define IEC_SCALAR(op, form, ...) add_row(f, #op, #form, #__VA_ARGS__);
#define IEC_NUMERIC(name, domain, code) add_numeric(f, #name, #domain, #code);
#include "scalar.def"
#undef IEC_SCALAR
#undef IEC_NUMERIC
    return f;
}

}  // namespace iecgen
