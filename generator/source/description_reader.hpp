// What the readers of the declaration kinds of a controller description
// share: the graph being built, the errors found so far, the names taken,
// and the helpers that read words, names and numbers (description_reader.cpp).
// Each kind has its own file (description_graph.cpp, description_blocks.cpp,
// description_objects.cpp) holding its line readers and the checks that need
// the whole description; description.cpp maps each keyword to its reader and
// runs the checks in a fixed order. A new kind is a new file, its functions
// declared below, its line in the keyword table and, if it has checks, their
// place in that order.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "vx/grafcet/description.hpp"

namespace vx::grafcet::reading {

bool is_name(std::string_view s);
bool starts_with(std::string_view s, std::string_view prefix);
std::string quoted(std::string_view s);
// Words of a line: separated by white space and commas.
std::vector<std::string_view> words(std::string_view line);
std::string_view trim(std::string_view s);
std::string step_text(int number);

template <class Int> std::optional<Int> whole_number(std::string_view s) {
    Int value{};
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || end != s.data() + s.size() || s.empty()) return std::nullopt;
    return value;
}

// One declaration: its keyword, what follows it (as text, and as words).
struct Declaration {
    int line = 0;
    std::string_view keyword;
    std::string_view rest;
    std::vector<std::string_view> args;
};

struct Reader {
    explicit Reader(std::string_view file_name) : file(file_name) {}

    void error(int line, std::string message) { errors.push_back({file, line, std::move(message)}); }
    // A keyword that may appear once: false (with an error) when it came before.
    bool first_time(int& seen_at, int line, std::string_view keyword);
    std::optional<std::string> one_name(const std::vector<std::string_view>& args, int line, std::string_view keyword);
    bool plant_name(std::string_view name, int line, std::string_view what);
    bool new_top_name(const std::string& name, int line);
    // The receptivity of a transition and the BOOL inputs of blocks.
    void check_expression(int line, const std::string& where, const Expression& e);
    void check_comparison(int line, const std::string& where, const Expression& e);
    void check_two_variables(int line, const std::string& where, const Expression& e, const std::optional<Reference>& left);

    std::string file;
    Graph graph;
    std::vector<Diagnostic> errors;
    std::map<std::string, int> top_names;     // blocks and objects, with their lines
    int last_line = 1;                        // where errors about what is missing go

    // The graph itself (description_graph.cpp)
    int graph_line = 0, unit_line = 0, signature_line = 0, generation_line = 0;
    std::optional<std::size_t> current_component;
    bool component_failed = false;            // the last component line was refused
    std::set<std::size_t> attempted_components;  // components with at least one step line
    std::set<int> failed_steps;               // steps whose line was refused

    // Plant objects (description_objects.cpp)
    std::vector<std::pair<Object, std::string>> pending_objects;  // objects and their models' names
    std::set<std::pair<int, std::string>> reported_models;
};

// ---- The graph itself: description_graph.cpp -------------------------------
void read_graph(Reader& r, const std::vector<std::string_view>& args, int line);
void read_unit(Reader& r, const std::vector<std::string_view>& args, int line);
void read_number(Reader& r, const std::vector<std::string_view>& args, int line, std::string_view keyword, int& seen_at,
                 std::int32_t& value);
void read_variables(Reader& r, const std::vector<std::string_view>& args, int line, Direction direction);
void read_component(Reader& r, const std::vector<std::string_view>& args, int line);
void read_step(Reader& r, const std::vector<std::string_view>& args, int line);
void read_transition(Reader& r, std::string_view rest, int line);
// A graph, a unit and at least one step are declared.
void check_declared(Reader& r);
void check_components(Reader& r);
void check_actions(Reader& r);
void check_transitions(Reader& r);

// ---- Function blocks: description_blocks.cpp -------------------------------
void read_block(Reader& r, std::string_view rest, int line);
void check_blocks(Reader& r);

// ---- Plant objects: description_objects.cpp --------------------------------
void read_model(Reader& r, const std::vector<std::string_view>& args, int line);
void read_object(Reader& r, const std::vector<std::string_view>& args, int line, bool actor);
void place_objects(Reader& r);

}  // namespace vx::grafcet::reading
