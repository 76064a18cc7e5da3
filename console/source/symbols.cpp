#include "vx/console/symbols.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <set>
#include <sstream>

#include "vx/console/error.hpp"
#include "vx/console/text_file.hpp"

namespace vx::console {
namespace {

struct RoleName {
    Role role;
    std::string_view name;
};
constexpr std::array<RoleName, 6> kRoles{{{Role::Input, "input"},
                                          {Role::Output, "output"},
                                          {Role::Step, "step"},
                                          {Role::Prev, "prev"},
                                          {Role::Timer, "timer"},
                                          {Role::Control, "control"}}};

constexpr std::array<std::string_view, kCellTypes> kTypeNames{"bool", "int", "float", "char"};

std::vector<std::string_view> fields_of(std::string_view line) {
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t') ++pos;
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

std::optional<Role> role_from(std::string_view text) {
    for (const auto& r : kRoles)
        if (r.name == text) return r.role;
    return std::nullopt;
}

// The number of single-character insertions, deletions, substitutions and
// swaps of neighbours that turn one name into the other, ignoring case.
std::size_t edit_distance(std::string_view a, std::string_view b) {
    auto same = [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
    };
    const std::size_t width = b.size() + 1;
    std::vector<std::size_t> d((a.size() + 1) * width);
    auto at = [&](std::size_t i, std::size_t j) -> std::size_t& { return d[i * width + j]; };
    for (std::size_t i = 0; i <= a.size(); ++i) at(i, 0) = i;
    for (std::size_t j = 0; j <= b.size(); ++j) at(0, j) = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        for (std::size_t j = 1; j <= b.size(); ++j) {
            at(i, j) = std::min({at(i - 1, j) + 1, at(i, j - 1) + 1, at(i - 1, j - 1) + (same(a[i - 1], b[j - 1]) ? 0 : 1)});
            if (i > 1 && j > 1 && same(a[i - 1], b[j - 2]) && same(a[i - 2], b[j - 1]))
                at(i, j) = std::min(at(i, j), at(i - 2, j - 2) + 1);
        }
    }
    return at(a.size(), b.size());
}

class Reader {
public:
    explicit Reader(const std::string& origin) : origin_(origin) {}

    [[noreturn]] void fail(const std::string& what) const {
        throw Failure(origin_ + ":" + std::to_string(line_) + ": " + what);
    }

    SymbolTable read(std::string_view text) {
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
        return std::move(table_);
    }

private:
    void record(const std::vector<std::string_view>& f) {
        if (!have_program_) {
            if (f[0] != "program" || f.size() != 2) fail("the first record must be 'program <name>'");
            table_.program = std::string(f[1]);
            have_program_ = true;
            return;
        }
        if (!have_counts_) {
            if (f[0] != "counts" || f.size() != 5) fail("the second record must be 'counts <bool> <int> <float> <char>'");
            for (std::size_t area = 0; area < kCellTypes; ++area) {
                const auto count = whole_number(f[area + 1]);
                if (!count || *count < 0) fail("'" + std::string(f[area + 1]) + "' is not a cell count");
                table_.counts[area] = *count;
            }
            have_counts_ = true;
            return;
        }
        variable(f);
    }

    void variable(const std::vector<std::string_view>& f) {
        if (f.size() != 4) fail("expected '<name> <B|I|F|C> <index> <role>', found " + std::to_string(f.size()) + " fields");
        Symbol s;
        s.name = std::string(f[0]);
        const auto type = f[1].size() == 1 ? type_from_letter(f[1][0]) : std::nullopt;
        if (!type) fail("'" + std::string(f[1]) + "' is not a type letter (B, I, F or C)");
        s.type = *type;
        const auto index = whole_number(f[2]);
        const std::int32_t count = table_.counts[static_cast<std::size_t>(s.type)];
        if (!index || *index < 0 || *index >= count)
            fail("index " + std::string(f[2]) + " of " + s.name + " is outside the " +
                 std::string(type_name(s.type)) + " area (0 to " + std::to_string(count - 1) + ")");
        s.index = *index;
        const auto role = role_from(f[3]);
        if (!role) fail("'" + std::string(f[3]) + "' is not a role (input, output, step, prev, timer or control)");
        s.role = *role;
        if (!names_.insert(s.name).second) fail("the name " + s.name + " appears twice");
        table_.symbols.push_back(std::move(s));
    }

    std::string origin_;
    int line_ = 0;
    bool have_program_ = false;
    bool have_counts_ = false;
    std::set<std::string, std::less<>> names_;
    SymbolTable table_;
};

}  // namespace

std::string_view role_name(Role role) {
    for (const auto& r : kRoles)
        if (r.role == role) return r.name;
    return "?";
}

std::optional<CellType> type_from_letter(char letter) {
    for (std::size_t area = 0; area < kCellTypes; ++area)
        if (kTypeLetter[area] == letter) return static_cast<CellType>(area);
    return std::nullopt;
}

std::string_view type_name(CellType type) { return kTypeNames[static_cast<std::size_t>(type)]; }

const Symbol* SymbolTable::find(std::string_view name) const {
    for (const auto& s : symbols)
        if (s.name == name) return &s;
    return nullptr;
}

const Symbol* SymbolTable::at(CellType type, std::int32_t index) const {
    for (const auto& s : symbols)
        if (s.type == type && s.index == index) return &s;
    return nullptr;
}

std::vector<const Symbol*> SymbolTable::with_role(Role role) const {
    std::vector<const Symbol*> found;
    for (const auto& s : symbols)
        if (s.role == role) found.push_back(&s);
    return found;
}

std::vector<std::string> SymbolTable::close_names(std::string_view name, std::size_t limit) const {
    // A slip of one character in four, at least one, counts as close.
    const std::size_t tolerance = std::max<std::size_t>(1, name.size() / 4);
    std::vector<std::pair<std::size_t, std::string>> ranked;
    for (const auto& s : symbols) {
        const std::size_t d = edit_distance(name, s.name);
        if (d <= tolerance) ranked.emplace_back(d, s.name);
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> names;
    for (std::size_t i = 0; i < ranked.size() && i < limit; ++i) names.push_back(ranked[i].second);
    return names;
}

SymbolTable parse_symbols(std::string_view text, const std::string& origin) { return Reader(origin).read(text); }

SymbolTable load_symbols(const std::string& path) { return parse_symbols(read_text_file(path, "symbol file"), path); }

}  // namespace vx::console
