// Plant objects: the models of the plant's objects, and its actors and
// products, each an instance of a model placed in the plant's table.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>

#include "description_reader.hpp"

namespace vx::grafcet::reading {

namespace {

bool add_model_variable(Reader& r, Model& model, std::string_view name, CellType type, int line) {
    if (!r.plant_name(name, line, "variable")) return false;
    if (name == "status" || name == "x" || name == "y" || name == "z") {
        r.error(line, quoted(name) + " cannot name a variable of model " + quoted(model.name) +
                          ": every object has its status and its position x, y, z");
        return false;
    }
    if (std::any_of(model.variables.begin(), model.variables.end(), [&](const ModelVariable& v) { return v.name == name; })) {
        r.error(line, "model " + quoted(model.name) + " declares variable " + quoted(name) + " twice");
        return false;
    }
    model.variables.push_back({std::string(name), type});
    return true;
}

bool read_triple(Reader& r, const std::vector<std::string_view>& args, std::size_t& k, std::array<double, 3>& out, int line,
                 std::string_view what) {
    for (std::size_t axis = 0; axis < 3; ++axis) {
        const std::string number = k + 1 + axis < args.size() ? std::string(args[k + 1 + axis]) : std::string();
        char* end = nullptr;
        const double value = number.empty() ? NAN : std::strtod(number.c_str(), &end);
        if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(value) ||
            (what == "size" && !(value > 0.0))) {
            r.error(line, quoted(what) + " takes three " + (what == "size" ? "positive " : "") + "numbers");
            return false;
        }
        out[axis] = value;
    }
    k += 3;
    return true;
}

}  // namespace

// model <name> [behaviour <function>] [bool <name>...] [int <name>...] [float <name>...]
void read_model(Reader& r, const std::vector<std::string_view>& args, int line) {
    if (args.empty() || !r.plant_name(args[0], line, "model")) {
        if (args.empty()) r.error(line, "'model' needs a name");
        return;
    }
    if (const Model* first = r.graph.find_model(args[0])) {
        r.error(line, "model " + quoted(args[0]) + " is declared twice (first on line " + std::to_string(first->line) + ")");
        return;
    }
    Model model{std::string(args[0]), {}, {}, line};
    bool in_section = false;  // after 'bool', 'int' or 'float'
    CellType section = CellType::Bool;
    bool ok = true;
    for (std::size_t k = 1; k < args.size() && ok; ++k) {
        const std::string_view w = args[k];
        if (w == "behaviour" || w == "behavior") {
            ok = k + 1 < args.size() && is_name(args[k + 1]);
            if (ok) model.behaviour = std::string(args[++k]);
            else r.error(line, "'behaviour' names the model's C function");
            in_section = false;
        } else if (w == "bool" || w == "int" || w == "float") {
            section = w == "bool" ? CellType::Bool : w == "int" ? CellType::Int : CellType::Float;
            in_section = true;
        } else if (!in_section) {
            r.error(line, "unexpected " + quoted(w) + " in model " + quoted(model.name) +
                              ": expected 'behaviour', 'bool', 'int' or 'float'");
            ok = false;
        } else {
            ok = add_model_variable(r, model, w, section, line);
        }
    }
    if (ok) r.graph.models.push_back(std::move(model));
}

// actor <name> model <m> [id <n>] [at <x> <y> <z>] [size <x> <y> <z>]
// product <name> model <m> [slots <n>] [alive] [at ...] [size ...]
void read_object(Reader& r, const std::vector<std::string_view>& args, int line, bool actor) {
    const std::string_view what = actor ? "actor" : "product";
    if (args.size() < 3 || args[1] != "model") {
        r.error(line, "an " + std::string(what) + " is written '" + std::string(what) + " <name> model <model> ...'");
        return;
    }
    if (!r.plant_name(args[0], line, what)) return;
    Object o;
    o.name = std::string(args[0]);
    o.actor = actor;
    o.alive = actor;
    o.line = line;
    std::int32_t slots = 1;
    bool ok = true;
    for (std::size_t k = 3; k < args.size() && ok; ++k) {
        const std::string_view w = args[k];
        if (w == "at" || w == "size") {
            ok = read_triple(r, args, k, w == "at" ? o.at : o.size, line, w);
        } else if (actor && w == "id" && k + 1 < args.size() && whole_number<std::int32_t>(args[k + 1])) {
            o.id = *whole_number<std::int32_t>(args[++k]);
        } else if (!actor && w == "slots" && k + 1 < args.size() && whole_number<std::int32_t>(args[k + 1]) &&
                   *whole_number<std::int32_t>(args[k + 1]) >= 1 && *whole_number<std::int32_t>(args[k + 1]) <= 1000) {
            slots = *whole_number<std::int32_t>(args[++k]);
        } else if (!actor && w == "alive") {
            o.alive = true;
        } else {
            r.error(line, "unexpected " + quoted(w) + " in " + std::string(what) + " " + quoted(o.name) + ": expected " +
                              (actor ? "'id <number>', 'at <x> <y> <z>' or 'size <x> <y> <z>'"
                                     : "'slots <1 to 1000>', 'alive', 'at <x> <y> <z>' or 'size <x> <y> <z>'"));
            ok = false;
        }
    }
    if (!ok) return;
    for (std::int32_t k = 1; k <= slots; ++k) {
        Object slot = o;
        if (slots > 1) slot.name += "_" + std::to_string(k);
        if (!r.new_top_name(slot.name, line)) return;
        r.pending_objects.push_back({std::move(slot), std::string(args[2])});
    }
}

// The plant's table holds the actors first, then the product slots, each
// in declaration order.
void place_objects(Reader& r) {
    for (const bool actors : {true, false}) {
        for (auto& [object, model] : r.pending_objects) {
            if (object.actor != actors) continue;
            const Model* m = r.graph.find_model(model);
            if (m == nullptr) {
                // A slot line reports its model once.
                if (r.reported_models.insert({object.line, model}).second)
                    r.error(object.line, "unknown model " + quoted(model) + " of " +
                                             (object.actor ? "actor " : "product ") + quoted(object.name));
                continue;
            }
            object.model = static_cast<std::size_t>(m - r.graph.models.data());
            r.graph.objects.push_back(object);
        }
    }
}

}  // namespace vx::grafcet::reading
