#include "vx/console/symbols.hpp"

#include <algorithm>
#include <cctype>

#include "vx/console/error.hpp"
#include "vx/console/text_file.hpp"

namespace vx::console {
namespace {

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

}  // namespace

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

std::optional<SymbolTable::TimeCells> SymbolTable::time_named(std::string_view name) const {
    auto int_symbol = [&](std::string_view part) {
        const Symbol* s = find(std::string(name) + std::string(part));
        return s != nullptr && s->type == CellType::Int ? s : nullptr;
    };
    const TimeCells cells{int_symbol(".days"), int_symbol(".ticks")};
    if (cells.days == nullptr || cells.ticks == nullptr) return std::nullopt;
    return cells;
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

// A malformed file is the user's to mend, reported like every other failure.
SymbolTable parse_symbols(std::string_view text, const std::string& origin) {
    try {
        return SymbolTable(grafcet::parse_symbol_file(text, origin));
    } catch (const grafcet::SymbolFileError& e) {
        throw Failure(e.what());
    }
}

SymbolTable load_symbols(const std::string& path) { return parse_symbols(read_text_file(path, "symbol file"), path); }

}  // namespace vx::console
