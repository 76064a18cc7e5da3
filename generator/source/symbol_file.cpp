#include "vx/grafcet/symbol_file.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <sstream>

namespace vx::grafcet {
namespace {

constexpr std::array<std::string_view, 8> kRoleNames{"input", "output", "step",  "prev",
                                                     "timer", "control", "block", "object"};
static_assert(kRoleNames.size() == static_cast<std::size_t>(Role::Object) + 1, "a name for every role");
constexpr std::array<std::string_view, kCellTypes> kTypeNames{"bool", "int", "float", "char"};

// Any white space separates fields: a carriage return or a form feed kept in
// a name would not survive the file being written out and read again.
bool separates(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && separates(line[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && !separates(line[pos])) ++pos;
        if (pos > start) fields.push_back(line.substr(start, pos - start));
    }
    return fields;
}

std::optional<std::int32_t> whole_number(std::string_view text) {
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// The enumerator whose entry in `table` (indexed by the enumerators) is `key`.
template <class Enum, class Entry, std::size_t N, class Key>
std::optional<Enum> enumerator_of(const std::array<Entry, N>& table, const Key& key) {
    const auto it = std::find(table.begin(), table.end(), key);
    if (it == table.end()) return std::nullopt;
    return static_cast<Enum>(it - table.begin());
}

class Reader {
public:
    explicit Reader(const std::string& origin) : origin_(origin) {}

    SymbolFile read(std::string_view text) {
        std::istringstream in{std::string(text)};
        std::string line;
        while (std::getline(in, line)) {
            ++line_;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            const auto fields = fields_of(line);
            if (fields.empty() || fields[0].front() == '#') continue;
            record(fields);
        }
        if (!have_counts_) {
            line_ = std::max(line_, 1);
            fail(have_program_ ? "the 'counts' record is missing" : "the 'program' record is missing");
        }
        return std::move(file_);
    }

private:
    [[noreturn]] void fail(const std::string& what) const {
        throw SymbolFileError(origin_ + ":" + std::to_string(line_) + ": " + what);
    }

    void record(const std::vector<std::string_view>& f) {
        if (!have_program_) {
            if (f[0] != "program" || f.size() != 2) fail("the first record must be 'program <name>'");
            file_.program = std::string(f[1]);
            have_program_ = true;
            return;
        }
        if (!have_counts_) {
            if (f[0] != "counts" || f.size() != 5) fail("the second record must be 'counts <bool> <int> <float> <char>'");
            for (std::size_t area = 0; area < kCellTypes; ++area) {
                const auto count = whole_number(f[area + 1]);
                if (!count || *count < 0) fail("'" + std::string(f[area + 1]) + "' is not a cell count");
                file_.counts[area] = *count;
            }
            have_counts_ = true;
            return;
        }
        if (f[0] == "object" && f.size() == 6) return object(f);
        variable(f);
    }

    std::int32_t cell_index(std::string_view text, CellType type, std::int32_t cells, const std::string& what) const {
        const auto index = whole_number(text);
        const std::int32_t count = file_.counts[static_cast<std::size_t>(type)];
        if (!index || *index < 0 || *index > count - cells)
            fail("index " + std::string(text) + " of " + what + " is outside the " + std::string(type_name(type)) +
                 " area (0 to " + std::to_string(count - 1) + ")");
        return *index;
    }

    void object(const std::vector<std::string_view>& f) {
        ObjectRecord o;
        o.name = std::string(f[1]);
        o.model = std::string(f[2]);
        if (f[3] != "actor" && f[3] != "product") fail("'" + std::string(f[3]) + "' is not 'actor' or 'product'");
        o.actor = f[3] == "actor";
        o.status = cell_index(f[4], CellType::Int, 1, "the status of " + o.name);
        o.matrix = cell_index(f[5], CellType::Float, kMatrixCells, "the matrix of " + o.name);
        if (!objects_.insert(o.name).second) fail("the object " + o.name + " appears twice");
        file_.objects.push_back(std::move(o));
    }

    void variable(const std::vector<std::string_view>& f) {
        if (f.size() != 4) fail("expected '<name> <B|I|F|C> <index> <role>', found " + std::to_string(f.size()) + " fields");
        Symbol s;
        s.name = std::string(f[0]);
        const auto type = f[1].size() == 1 ? type_from_letter(f[1][0]) : std::nullopt;
        if (!type) fail("'" + std::string(f[1]) + "' is not a type letter (B, I, F or C)");
        s.type = *type;
        s.index = cell_index(f[2], s.type, 1, s.name);
        const auto role = enumerator_of<Role>(kRoleNames, f[3]);
        if (!role)
            fail("'" + std::string(f[3]) +
                 "' is not a role (input, output, step, prev, timer, control, block or object)");
        s.role = *role;
        if (!names_.insert(s.name).second) fail("the name " + s.name + " appears twice");
        file_.symbols.push_back(std::move(s));
    }

    std::string origin_;
    int line_ = 0;
    bool have_program_ = false;
    bool have_counts_ = false;
    std::set<std::string, std::less<>> names_;
    std::set<std::string, std::less<>> objects_;
    SymbolFile file_;
};

}  // namespace

std::string_view role_name(Role role) { return kRoleNames[static_cast<std::size_t>(role)]; }

std::optional<CellType> type_from_letter(char letter) { return enumerator_of<CellType>(kTypeLetter, letter); }

std::string_view type_name(CellType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

const Symbol* SymbolFile::find(std::string_view name) const {
    const auto it = std::find_if(symbols.begin(), symbols.end(), [&](const Symbol& s) { return s.name == name; });
    return it == symbols.end() ? nullptr : &*it;
}

std::string format_symbol_file(const SymbolFile& file, std::string_view heading) {
    std::string out = "# " + std::string(heading) + "\n";
    out += "program " + file.program + "\n";
    out += "counts";
    for (const std::int32_t count : file.counts) out += " " + std::to_string(count);
    out += "\n";
    for (const Symbol& s : file.symbols)
        out += s.name + " " + type_letter(s.type) + " " + std::to_string(s.index) + " " +
               std::string(role_name(s.role)) + "\n";
    for (const ObjectRecord& o : file.objects)
        out += "object " + o.name + " " + o.model + " " + (o.actor ? "actor " : "product ") +
               std::to_string(o.status) + " " + std::to_string(o.matrix) + "\n";
    return out;
}

SymbolFile parse_symbol_file(std::string_view text, const std::string& origin) { return Reader(origin).read(text); }

}  // namespace vx::grafcet
