#include "vx/console/plant.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <ostream>
#include <string_view>

namespace vx::console {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The cells that every object has under its own name, shown as status,
// position and size rather than as its variables.
constexpr std::string_view kPlacementCells[] = {"status", "x", "y", "z"};

// Entries of the three columns of the 3x3 part (the translation's are
// kPositionCells).
constexpr std::size_t kColumn[3][3] = {{0, 4, 8}, {1, 5, 9}, {2, 6, 10}};

// Short and steady for a table: three decimals at most, no trailing zeros,
// no "-0".
std::string compact(double value) {
    if (!std::isfinite(value)) return std::isnan(value) ? "nan" : (value > 0 ? "inf" : "-inf");
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    s.erase(s.find_last_not_of('0') + 1);
    if (s.back() == '.') s.pop_back();
    return s == "-0" ? "0" : s;
}

std::string triple(const std::array<double, 3>& v) { return compact(v[0]) + " " + compact(v[1]) + " " + compact(v[2]); }

std::vector<const Symbol*> variables_of(const SymbolTable& table, const std::string& object) {
    const std::string prefix = object + ".";
    std::vector<const Symbol*> found;
    for (const auto& s : table.symbols) {
        if (!s.name.starts_with(prefix)) continue;
        const std::string_view own = std::string_view(s.name).substr(prefix.size());
        if (std::find(std::begin(kPlacementCells), std::end(kPlacementCells), own) == std::end(kPlacementCells))
            found.push_back(&s);
    }
    return found;
}

std::string variable_values(const Session& s, const PlantObject& o) {
    std::string text;
    const std::size_t prefix = o.record->name.size() + 1;
    for (const Symbol* v : o.variables) {
        const CellState state = read_cell(s.block(), VarRef{v->type, v->index, v->name});
        text += (text.empty() ? "" : " ") + v->name.substr(prefix) + "=" + format_value(state.cur) + (state.forced ? "*" : "");
    }
    return text;
}

// Rows of cells as columns, each as wide as its widest cell, two spaces
// apart; the last column is not padded.
void print_columns(const std::vector<std::vector<std::string>>& rows, std::ostream& out) {
    std::vector<std::size_t> width;
    for (const auto& row : rows) {
        width.resize(std::max(width.size(), row.size()));
        for (std::size_t c = 0; c < row.size(); ++c) width[c] = std::max(width[c], row[c].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t c = 0; c < row.size(); ++c) {
            line += row[c];
            if (c + 1 < row.size()) line += std::string(width[c] - row[c].size() + 2, ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    }
}

// The letter of product slot `slot`: A to Z, then a to z, then '#'.
char product_mark(std::size_t slot) {
    if (slot < 26) return static_cast<char>('A' + slot);
    if (slot < 52) return static_cast<char>('a' + (slot - 26));
    return '#';
}

// The strip of the plant view: `columns` cells over [low, high] of X.
class Strip {
public:
    Strip(double low, double high, int columns)
        : low_(low), cell_((high - low) / columns), line_(static_cast<std::size_t>(columns), ' ') {}

    // An object narrower than a cell is thin: one cell, at its middle,
    // wherever cell boundaries fall.
    bool thin(double from, double to) const { return to - from < cell_; }

    // The cells that [from, to] covers: at least one, all inside the strip;
    // the middle one for a thin object.
    std::pair<std::size_t, std::size_t> cells(double from, double to) const {
        if (thin(from, to)) {
            const std::size_t middle = column(std::floor(((from + to) / 2 - low_) / cell_));
            return {middle, middle};
        }
        const std::size_t first = column(std::floor((from - low_) / cell_));
        const std::size_t last = column(std::ceil((to - low_) / cell_) - 1);
        return {first, std::max(first, last)};
    }

    void fill(std::pair<std::size_t, std::size_t> span, char mark) {
        std::fill(line_.begin() + static_cast<std::ptrdiff_t>(span.first),
                  line_.begin() + static_cast<std::ptrdiff_t>(span.second) + 1, mark);
    }

    const std::string& line() const { return line_; }

private:
    // Clamped in double, before the conversion, so that no position (however
    // far out) makes an index outside the strip.
    std::size_t column(double cell) const {
        return static_cast<std::size_t>(std::clamp(cell, 0.0, static_cast<double>(line_.size() - 1)));
    }

    double low_;
    double cell_;
    std::string line_;
};

bool finite_extent(const std::pair<double, double>& e) { return std::isfinite(e.first) && std::isfinite(e.second); }

// What the view draws for a live object, in the order of drawing: long
// actors under the products, thin actors (a light barrier) over them, so
// that a box at the barrier shows with the barrier in it.
struct Mark {
    int layer = 0;  // 0 long actor, 1 product, 2 thin actor
    char mark = ' ';
    std::pair<std::size_t, std::size_t> span;
    const PlantObject* object = nullptr;
};

// Whether one line along X crosses every object with a placement: the row
// then shows each of them where it is along the line. A plant spread over
// the floor (a pallet beside the feed, an arm that turns) has no such line.
bool along_one_row(const std::vector<PlantObject>& objects) {
    double low = -std::numeric_limits<double>::infinity();
    double high = std::numeric_limits<double>::infinity();
    for (const auto& o : objects) {
        const auto e = o.extent(1);
        if (!finite_extent(e)) continue;
        low = std::max(low, e.first);
        high = std::min(high, e.second);
    }
    return low <= high;
}

}  // namespace

std::array<double, 3> PlantObject::position() const {
    return {matrix[grafcet::kPositionCells[0]], matrix[grafcet::kPositionCells[1]], matrix[grafcet::kPositionCells[2]]};
}

std::array<double, 3> PlantObject::size() const {
    std::array<double, 3> s{};
    for (std::size_t c = 0; c < 3; ++c) s[c] = std::hypot(matrix[kColumn[c][0]], matrix[kColumn[c][1]], matrix[kColumn[c][2]]);
    return s;
}

std::pair<double, double> PlantObject::extent(std::size_t axis) const {
    // The corners of the cube add each edge's coordinate or not: the least
    // takes the negative ones, the largest the positive ones.
    double low = matrix[grafcet::kPositionCells[axis]];
    double high = low;
    for (std::size_t c = 0; c < 3; ++c) {
        low += std::min(0.0, matrix[kColumn[c][axis]]);
        high += std::max(0.0, matrix[kColumn[c][axis]]);
    }
    return {low, high};
}

double PlantObject::angle_z() const {
    double x = matrix[kColumn[0][0]];
    double y = matrix[kColumn[0][1]];
    if (matrix[15] < 0) {
        x = -x;
        y = -y;
    }
    if (!std::isfinite(x) || !std::isfinite(y) || (x == 0 && y == 0)) return kNaN;
    double degrees = std::atan2(y, x) * 180.0 / std::numbers::pi;
    if (degrees < 0) degrees += 360.0;
    // A tiny negative angle reads just under 360, never 360 itself.
    return degrees < 360.0 ? degrees : std::nextafter(360.0, 0.0);
}

std::vector<PlantObject> plant_objects(const Session& session) {
    const SymbolTable& table = session.require_symbols();
    const BlockView& block = session.block();
    std::vector<PlantObject> objects;
    for (std::size_t i = 0; i < table.objects.size(); ++i) {
        PlantObject o;
        o.index = i;
        o.record = &table.objects[i];
        if (const IntCell* status = block.cell<IntCell>(o.record->status)) o.status = cur(*status);
        for (std::size_t k = 0; k < o.matrix.size(); ++k) {
            const FloatCell* cell = block.cell<FloatCell>(std::int64_t{o.record->matrix} + static_cast<std::int64_t>(k));
            o.matrix[k] = cell != nullptr ? static_cast<double>(cur(*cell)) : kNaN;
        }
        o.variables = variables_of(table, o.record->name);
        objects.push_back(std::move(o));
    }
    return objects;
}

std::string status_text(const std::optional<std::int32_t>& status) {
    if (!status) return "outside the block";
    if (*status == kAlive) return "alive";
    if (*status == kKilled) return "killed";
    return "unknown (" + std::to_string(*status) + ")";
}

void list_objects(const Session& session, std::ostream& out) {
    const auto objects = plant_objects(session);
    const std::string& program = session.require_symbols().program;
    if (objects.empty()) {
        out << "program " << program << " declares no objects (no actors, no product slots)\n";
        return;
    }
    const auto actors = std::count_if(objects.begin(), objects.end(), [](const PlantObject& o) { return o.record->actor; });
    const auto live = std::count_if(objects.begin(), objects.end(),
                                    [](const PlantObject& o) { return !o.record->actor && o.alive(); });
    out << "program " << program << ": " << actors << " actors, " << objects.size() - static_cast<std::size_t>(actors)
        << " product slots (" << live << " alive)\n";
    std::vector<std::vector<std::string>> rows{
        {"index", "name", "model", "kind", "status", "position (x y z)", "angle z", "size (sx sy sz)", "variables"}};
    for (const auto& o : objects)
        rows.push_back({std::to_string(o.index), o.record->name, o.record->model, o.record->actor ? "actor" : "product",
                        status_text(o.status), triple(o.position()), compact(o.angle_z()), triple(o.size()),
                        variable_values(session, o)});
    print_columns(rows, out);
}

std::string draw_plant(const Session& session, int width) {
    const SymbolTable* table = session.symbols();
    if (table == nullptr || table->objects.empty()) return {};
    const auto objects = plant_objects(session);

    // The scale spans every object, live or not, so that it stays put while
    // products come and go.
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (const auto& o : objects) {
        const auto e = o.x_extent();
        if (!finite_extent(e)) continue;
        low = std::min(low, e.first);
        high = std::max(high, e.second);
    }
    if (!(low <= high)) return "plant    (no object has a placement to draw)\n";
    if (!along_one_row(objects))
        return "plant    not drawable on one row: its objects do not lie along one line in X; "
               "vxctl objects lists their positions and angles\n";
    if (high - low < 1e-9 * std::max(1.0, std::fabs(low))) {
        low -= 0.5;
        high += 0.5;
    }
    // The strip stays off the terminal's last column, where a written
    // character leaves the cursor waiting to wrap.
    constexpr int kLabel = 9;
    const int columns = std::max(10, width - kLabel - 1);
    Strip strip(low, high, columns);

    std::vector<Mark> marks;
    std::size_t slot = 0;
    std::size_t free_slots = 0;
    for (const auto& o : objects) {
        const bool product = !o.record->actor;
        const std::size_t own_slot = product ? slot++ : 0;
        if (product && o.status == kKilled) ++free_slots;
        const auto e = o.x_extent();
        if (!o.alive() || !finite_extent(e)) continue;
        const auto span = strip.cells(e.first, e.second);
        if (product)
            marks.push_back({1, product_mark(own_slot), span, &o});
        else if (strip.thin(e.first, e.second))
            marks.push_back({2, '|', span, &o});
        else
            marks.push_back({0, '=', span, &o});
    }
    std::stable_sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.layer < b.layer; });
    for (const auto& m : marks) strip.fill(m.span, m.mark);

    std::string scale = compact(low);
    const std::string right = compact(high);
    const auto room = static_cast<std::size_t>(columns);
    scale += scale.size() + right.size() + 1 <= room ? std::string(room - scale.size() - right.size(), ' ') : " .. ";
    scale += right;

    // The legend in the table's order.
    std::sort(marks.begin(), marks.end(), [](const Mark& a, const Mark& b) { return a.object->index < b.object->index; });
    std::string legend;
    for (const auto& m : marks) legend += (legend.empty() ? "" : "  ") + std::string(1, m.mark) + " " + m.object->record->name;
    if (marks.empty()) legend = "no live object";
    if (free_slots > 0) legend += "  (" + std::to_string(free_slots) + (free_slots == 1 ? " slot" : " slots") + " free)";

    std::string view = "plant    " + strip.line();
    view.erase(view.find_last_not_of(' ') + 1);
    return view + "\n         " + scale + "\nlegend   " + legend + "\n";
}

}  // namespace vx::console
