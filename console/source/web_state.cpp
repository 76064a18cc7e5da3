#include "vx/console/web_state.hpp"

#include <cmath>
#include <fstream>

#include "vx/console/plant.hpp"
#include "vx/platform/system.hpp"

namespace vx::console {
namespace {

// A number JSON can carry; NaN and the infinities as the console writes them.
Json number_json(double value) {
    if (std::isfinite(value)) return value;
    return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
}

Json value_json(const Value& value) {
    return std::visit(
        [](auto v) -> Json {
            using T = decltype(v);
            if constexpr (std::is_same_v<T, bool>) return v ? 1 : 0;
            else if constexpr (std::is_same_v<T, float>) return number_json(static_cast<double>(v));
            else return static_cast<std::int64_t>(v);
        },
        value);
}

// Millimetres are plenty for a top view, and a rounded matrix does not send
// a change for every float wobble.
Json rounded(double value) {
    if (!std::isfinite(value)) return nullptr;
    return std::round(value * 1000.0) / 1000.0;
}

void read_status(const Session& s, Frame& f) {
    f["s.attached"] = true;
    f["s.alive"] = s.alive();
    f["s.pid"] = s.pid();
    const IntCell& status = s.int_cell(cells::execstatus);
    f["s.status"] = status_name(cur(status));
    f["s.reported"] = status_name(prev(status));
    f["s.counter"] = s.counter();
    const auto flt = [&](std::int32_t index) { return number_json(static_cast<double>(cur(s.float_cell(index)))); };
    f["s.period"] = flt(cells::simuperiod);
    f["s.mean"] = flt(cells::realsimuperiod);
    f["s.min"] = flt(cells::minsimuperiod);
    f["s.max"] = flt(cells::maxsimuperiod);
    f["s.changes"] = flt(cells::mxmeanvariablemodification);
    const auto in = [&](std::int32_t index) { return cur(s.int_cell(index)); };
    const std::int32_t instance = in(cells::bpcurrentinstance);
    f["s.held"] = instance != 0 ? Json::array({in(cells::bpcurrentlocation), instance}) : Json(nullptr);
    f["s.report"] = Json::array({in(cells::bpcurrentlocation), in(cells::bpcurrentprepostcode),
                                 in(cells::bpcurrenttypeerror), in(cells::bpcurrentrank)});
}

}  // namespace

Json frame_delta(const Frame& before, const Frame& now) {
    Json delta = Json::object();
    for (const auto& [key, value] : now) {
        const auto it = before.find(key);
        if (it == before.end() || it->second != value) delta[key] = value;
    }
    for (const auto& [key, value] : before) {
        if (!now.count(key)) delta[key] = nullptr;
    }
    return delta;
}

Json frame_json(const Frame& frame) {
    Json all = Json::object();
    for (const auto& [key, value] : frame) all[key] = value;
    return all;
}

Frame read_frame(const Session& s) {
    Frame f;
    read_status(s, f);
    const SymbolTable* table = s.symbols();
    if (table == nullptr) return f;
    for (const Symbol& sym : table->symbols) {
        const VarRef ref{sym.type, sym.index, sym.name};
        if (!s.block().contains(sym.type, sym.index)) continue;
        const CellState state = read_cell(s.block(), ref);
        f["v." + sym.name] = value_json(state.cur);
        if (state.forced) f["f." + sym.name] = true;
    }
    for (const PlantObject& o : plant_objects(s)) {
        Json entry = Json::array({o.status ? Json(*o.status) : Json(nullptr)});
        for (const std::size_t k : {0u, 1u, 3u, 4u, 5u, 7u}) entry.push_back(rounded(o.matrix[k]));
        f["o." + o.record->name] = std::move(entry);
    }
    return f;
}

Json load_graph_file(const std::string& symbols_path) {
    constexpr std::string_view kVars = ".vars";
    if (!symbols_path.ends_with(kVars)) return nullptr;
    std::ifstream in(symbols_path.substr(0, symbols_path.size() - kVars.size()) + ".graph.json");
    if (!in) return nullptr;
    Json graph = Json::parse(in, nullptr, false);
    return graph.is_discarded() ? Json(nullptr) : graph;
}

Json program_json(const Session& s) {
    Json p;
    p["block"] = s.block_name();
    p["task"] = s.task_name();
    const SymbolTable* table = s.symbols();
    p["program"] = table ? Json(table->program) : Json(nullptr);
    Json symbols = Json::array();
    Json objects = Json::array();
    if (table) {
        for (const Symbol& sym : table->symbols)
            symbols.push_back(Json::array({sym.name, std::string(1, grafcet::type_letter(sym.type)), sym.index,
                                           std::string(role_name(sym.role))}));
        for (const auto& o : table->objects) objects.push_back(Json{{"name", o.name}, {"model", o.model}, {"actor", o.actor}});
    }
    p["symbols"] = std::move(symbols);
    p["objects"] = std::move(objects);
    p["graph"] = table ? load_graph_file(s.symbols_origin()) : Json(nullptr);
    return p;
}

std::shared_ptr<const Session> BlockLink::refresh() {
    std::lock_guard lock(mutex_);
    if (session_) {
        // Another program on the block: its layout and symbols may differ.
        const std::int32_t pid = session_->pid();
        if (pid == 0 || pid == pid_ || !platform::process_exists(pid)) return session_;
    }
    try {
        auto fresh = std::make_shared<const Session>(Session::attach(options_));
        pid_ = fresh->pid();
        session_ = std::move(fresh);
        ++generation_;
    } catch (const Failure&) {
        // Not laid out (yet), or laid out by a program whose start-up is
        // under way: the next refresh tries again.
    }
    return session_;
}

std::shared_ptr<const Session> BlockLink::session() const {
    std::lock_guard lock(mutex_);
    return session_;
}

std::uint64_t BlockLink::generation() const {
    std::lock_guard lock(mutex_);
    return generation_;
}

}  // namespace vx::console
