// Reading a controller description: first every line on its own, then the
// references between lines (steps, variables, components), so that a
// transition may name a step declared further down. Each declaration kind
// has its reader in a file of its own (description_reader.hpp says which);
// here each keyword is sent to its reader, and the checks that need the
// whole description run in their order.
#include "vx/grafcet/description.hpp"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <array>
#include <map>
#include <set>

#include "description_reader.hpp"
#include "vx/grafcet/c_names.hpp"
#include "vx/grafcet/layout.hpp"

namespace vx::grafcet {

bool read_text_file(const std::string& path, std::string& text) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    text = buffer.str();
    return !in.bad();
}

std::string Diagnostic::text() const { return file + ":" + std::to_string(line) + ": error: " + message; }

const Step* Graph::find_step(int number) const {
    const auto it = std::find_if(steps.begin(), steps.end(), [&](const Step& s) { return s.number == number; });
    return it == steps.end() ? nullptr : &*it;
}

const Variable* Graph::find_variable(std::string_view variable) const {
    const auto it = std::find_if(variables.begin(), variables.end(), [&](const Variable& v) { return v.name == variable; });
    return it == variables.end() ? nullptr : &*it;
}

template <class T> const T* find_named(const std::vector<T>& items, std::string_view name) {
    const auto it = std::find_if(items.begin(), items.end(), [&](const T& x) { return x.name == name; });
    return it == items.end() ? nullptr : &*it;
}

const Block* Graph::find_block(std::string_view wanted) const { return find_named(blocks, wanted); }
const Object* Graph::find_object(std::string_view wanted) const { return find_named(objects, wanted); }
const Model* Graph::find_model(std::string_view wanted) const { return find_named(models, wanted); }

namespace {

ValueType value_type(PinType type) {
    switch (type) {
        case PinType::Bool: return ValueType::Bool;
        case PinType::Int: return ValueType::Int;
        case PinType::Time: break;
    }
    return ValueType::Time;
}

ValueType value_type(CellType type) {
    switch (type) {
        case CellType::Bool: return ValueType::Bool;
        case CellType::Int: return ValueType::Int;
        case CellType::Float:
        case CellType::Char: break;
    }
    return ValueType::Float;
}

// The member of an object that a dotted name reads: its status, a
// coordinate of its position (kPositionCells of its matrix) or one of its
// model's variables.
std::optional<Reference> object_member(const Graph& graph, const Object& o, std::string_view member) {
    const CNames names(graph);
    if (member == "status") return Reference{ValueType::Int, names.member(o.name, "status")};
    constexpr std::array<std::string_view, 3> kAxes{"x", "y", "z"};
    for (std::size_t axis = 0; axis < kAxes.size(); ++axis) {
        if (member == kAxes[axis])
            return Reference{ValueType::Float,
                             "(" + names.member(o.name, "matrix") + " + " + std::to_string(kPositionCells[axis]) + ")"};
    }
    for (const ModelVariable& v : graph.models[o.model].variables) {
        if (v.name == member) return Reference{value_type(v.type), names.member(o.name, v.name)};
    }
    return std::nullopt;
}

}  // namespace

std::optional<Reference> resolve(const Graph& graph, std::string_view name) {
    const auto dot = name.find('.');
    if (dot == std::string_view::npos) {
        if (graph.find_variable(name) == nullptr) return std::nullopt;
        return Reference{ValueType::Bool, CNames(graph).variable(name)};
    }
    const std::string_view owner = name.substr(0, dot), member = name.substr(dot + 1);
    if (const Block* b = graph.find_block(owner)) {
        for (const BlockPin& pin : b->type().outputs()) {
            if (pin.name == member)
                return Reference{value_type(pin.type), CNames(graph).member(b->name, pin.name)};
        }
        return std::nullopt;
    }
    if (const Object* o = graph.find_object(owner)) return object_member(graph, *o, member);
    return std::nullopt;
}

namespace {

using namespace reading;

using LineReader = void (*)(Reader&, const Declaration&);

// The declaration kinds: the first word of a line names its reader.
struct Keyword {
    std::string_view keyword;
    LineReader read;
};
constexpr std::array kKeywords{
    Keyword{"graph", [](Reader& r, const Declaration& d) { read_graph(r, d.args, d.line); }},
    Keyword{"unit", [](Reader& r, const Declaration& d) { read_unit(r, d.args, d.line); }},
    Keyword{"signature",
            [](Reader& r, const Declaration& d) {
                read_number(r, d.args, d.line, "signature", r.signature_line, r.graph.signature);
            }},
    Keyword{"generation-time",
            [](Reader& r, const Declaration& d) {
                read_number(r, d.args, d.line, "generation-time", r.generation_line, r.graph.generation_time);
            }},
    Keyword{"input", [](Reader& r, const Declaration& d) { read_variables(r, d.args, d.line, Direction::Input); }},
    Keyword{"output", [](Reader& r, const Declaration& d) { read_variables(r, d.args, d.line, Direction::Output); }},
    Keyword{"component", [](Reader& r, const Declaration& d) { read_component(r, d.args, d.line); }},
    Keyword{"step", [](Reader& r, const Declaration& d) { read_step(r, d.args, d.line); }},
    Keyword{"transition", [](Reader& r, const Declaration& d) { read_transition(r, d.rest, d.line); }},
    Keyword{"block", [](Reader& r, const Declaration& d) { read_block(r, d.rest, d.line); }},
    Keyword{"model", [](Reader& r, const Declaration& d) { read_model(r, d.args, d.line); }},
    Keyword{"actor", [](Reader& r, const Declaration& d) { read_object(r, d.args, d.line, true); }},
    Keyword{"product", [](Reader& r, const Declaration& d) { read_object(r, d.args, d.line, false); }},
};

// "graph, unit, ... actor or product"
std::string keyword_list() {
    std::string list;
    for (std::size_t k = 0; k < kKeywords.size(); ++k) {
        if (k > 0) list += k + 1 == kKeywords.size() ? " or " : ", ";
        list += kKeywords[k].keyword;
    }
    return list;
}

void read_line(Reader& r, std::string_view raw, int line) {
    const std::string_view text = trim(raw.substr(0, raw.find('#')));
    if (text.empty()) return;
    const auto w = words(text);
    if (w.empty()) return;  // separators only (",,"): nothing is declared, as on a blank line
    const std::string_view keyword = w.front();
    const Declaration declaration{line, keyword, text.substr(keyword.size()), {w.begin() + 1, w.end()}};
    const auto kind = std::find_if(kKeywords.begin(), kKeywords.end(),
                                   [&](const Keyword& k) { return k.keyword == keyword; });
    if (kind != kKeywords.end()) return kind->read(r, declaration);
    r.error(line, "unknown declaration " + quoted(keyword) + ": expected " + keyword_list());
}

// Every generated C name is distinct: the pointers of the variables,
// steps, block outputs and object cells, and the models' functions.
void check_c_names(Reader& r) {
    if (!r.errors.empty()) return;
    std::map<std::string, std::string> seen;
    const auto add = [&](const std::string& c_name, const std::string& what, int line) {
        const auto [it, inserted] = seen.emplace(c_name, what);
        if (!inserted)
            r.error(line, what + " and " + it->second + " would both be named " + quoted(c_name) +
                              " in the generated code: rename one of them");
    };
    const CNames names(r.graph);
    for (const Variable& v : r.graph.variables) add(names.variable(v.name), "variable " + quoted(v.name), v.line);
    for (const Step& st : r.graph.steps) {
        add(names.step(st.number), step_text(st.number), st.line);
        add(names.previous(st.number), step_text(st.number), st.line);
        add(names.timer(st.number), step_text(st.number), st.line);
    }
    for (const Block& b : r.graph.blocks)
        for (const BlockPin& pin : b.type().outputs()) add(names.member(b.name, pin.name), "block " + quoted(b.name), b.line);
    for (const Object& o : r.graph.objects) {
        add(names.member(o.name, "status"), "object " + quoted(o.name), o.line);
        add(names.member(o.name, "matrix"), "object " + quoted(o.name), o.line);
        for (const ModelVariable& v : r.graph.models[o.model].variables)
            add(names.member(o.name, v.name), "object " + quoted(o.name), o.line);
    }
    std::set<std::string> behaviours;
    for (const Model& m : r.graph.models) {
        if (!m.behaviour.empty() && !behaviours.insert(m.behaviour).second) continue;  // models may share one
        add(names.model_function(m), "model " + quoted(m.name), m.line);
    }
}

// The objects are placed before the transitions and blocks are checked, as
// their receptivities may read objects; the C names come last, as they are
// compared only in a description with no other error.
void check_whole(Reader& r) {
    check_declared(r);
    place_objects(r);
    check_components(r);
    check_actions(r);
    check_transitions(r);
    check_blocks(r);
    check_c_names(r);
}

ParsedDescription read(Reader& r, std::string_view text) {
    int line_number = 0;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        const std::size_t end = std::min(text.find('\n', pos), text.size());
        ++line_number;
        read_line(r, text.substr(pos, end - pos), line_number);
        pos = end + 1;
    }
    r.last_line = std::max(1, line_number - (text.empty() || text.back() == '\n' ? 1 : 0));
    check_whole(r);
    std::stable_sort(r.errors.begin(), r.errors.end(),
                     [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
    ParsedDescription result;
    result.errors = std::move(r.errors);
    if (result.errors.empty()) result.graph = std::move(r.graph);
    return result;
}

}  // namespace

ParsedDescription parse_description(std::string_view text, std::string_view file) {
    // Some editors start a UTF-8 file with a byte order mark.
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (reading::starts_with(text, kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    reading::Reader reader(file);
    return read(reader, text);
}

}  // namespace vx::grafcet
