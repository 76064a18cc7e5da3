#include "vx/console/values.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <type_traits>

#include "vx/forcing.hpp"
#include "vx/grafcet/symbol_file.hpp"

namespace vx::console {
namespace {

template <class Cell> using ValueOf = typename CellTraits<Cell>::Value;

[[noreturn]] void does_not_fit(CellType type, std::string_view text, const char* expected) {
    throw Failure("value '" + std::string(text) + "' does not fit " +
                  std::string(type == CellType::Bool    ? "a bool"
                              : type == CellType::Int   ? "an int"
                              : type == CellType::Float ? "a float"
                                                        : "a char") +
                  " cell (" + expected + ")");
}

template <class T> std::optional<T> whole(std::string_view text) {
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

Value parse_bool(std::string_view text) {
    if (text == "1" || text == "true") return true;
    if (text == "0" || text == "false") return false;
    does_not_fit(CellType::Bool, text, "0, 1, true or false");
}

Value parse_int(std::string_view text) {
    const auto value = whole<std::int32_t>(text);
    if (!value) does_not_fit(CellType::Int, text, "a whole number from -2147483648 to 2147483647");
    return *value;
}

Value parse_float(std::string_view text) {
    double value = 0.0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    const bool whole_text = ec == std::errc() && end == text.data() + text.size();
    // Finite values beyond the float range would become infinities: refused.
    if (!whole_text || (std::isfinite(value) && std::fabs(value) > std::numeric_limits<float>::max()))
        does_not_fit(CellType::Float, text, "a number within +-3.4e38, nan or inf");
    return static_cast<float>(value);
}

Value parse_char(std::string_view text) {
    if (text.size() == 3 && text.front() == '\'' && text.back() == '\'') return static_cast<std::uint8_t>(text[1]);
    const auto value = whole<int>(text);
    if (!value || *value < 0 || *value > 255) does_not_fit(CellType::Char, text, "0 to 255, or one character as 'A'");
    return static_cast<std::uint8_t>(*value);
}

template <class Cell> ValueOf<Cell> value_as(const Value& value, const VarRef& ref) {
    if (!std::holds_alternative<ValueOf<Cell>>(value))
        throw Failure("a value of another type cannot be written into " + ref.label());
    return std::get<ValueOf<Cell>>(value);
}

}  // namespace

std::string VarRef::raw() const { return kTypeLetter[static_cast<std::size_t>(type)] + std::to_string(index); }

std::string VarRef::label() const {
    const std::string r = raw();
    return name.empty() || name == r ? r : name + " (" + r + ")";
}

bool looks_raw(std::string_view text) {
    if (text.size() < 2 || (text[0] != 'B' && text[0] != 'I' && text[0] != 'F' && text[0] != 'C')) return false;
    for (std::size_t i = 1; i < text.size(); ++i)
        if (text[i] < '0' || text[i] > '9') return false;
    return true;
}

std::optional<RawCell> parse_raw(std::string_view text) {
    if (!looks_raw(text)) return std::nullopt;
    RawCell raw{*grafcet::type_from_letter(text[0]), 0};
    for (const char c : text.substr(1)) raw.index = std::min<std::int64_t>(raw.index * 10 + (c - '0'), INT32_MAX + 1LL);
    return raw;
}

std::optional<VarRef> raw_cell(std::string_view text, const std::array<std::int32_t, kCellTypes>& counts) {
    const auto raw = parse_raw(text);
    if (!raw) return std::nullopt;
    const std::int32_t count = counts[static_cast<std::size_t>(raw->type)];
    if (raw->index >= count)
        throw Failure(std::string(text) + " lies outside the " + std::string(grafcet::type_name(raw->type)) +
                      " area (cells 0 to " + std::to_string(count - 1) + ")");
    VarRef ref{raw->type, static_cast<std::int32_t>(raw->index), {}};
    ref.name = ref.raw();
    return ref;
}

Value parse_value(CellType type, std::string_view text) {
    switch (type) {
        case CellType::Bool: return parse_bool(text);
        case CellType::Int: return parse_int(text);
        case CellType::Float: return parse_float(text);
        case CellType::Char: break;
    }
    return parse_char(text);
}

std::string format_value(const Value& value) {
    return std::visit(
        [](auto v) -> std::string {
            using T = decltype(v);
            if constexpr (std::is_same_v<T, bool>) {
                return v ? "1" : "0";
            } else if constexpr (std::is_same_v<T, float>) {
                if (std::isnan(v)) return "nan";
                char text[32];
                const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
                return ec == std::errc() ? std::string(text, end) : "?";
            } else if constexpr (std::is_same_v<T, std::uint8_t>) {
                std::string text = std::to_string(v);
                if (v >= 0x20 && v < 0x7F) text += " '" + std::string(1, static_cast<char>(v)) + "'";
                return text;
            } else {
                return std::to_string(v);
            }
        },
        value);
}

CellState read_cell(const BlockView& block, const VarRef& ref) {
    return with_cell(block, ref.type, ref.index,
                     [](const auto& cell) { return CellState{Value(cur(cell)), Value(prev(cell)), forced(cell)}; });
}

Value read_cur(const BlockView& block, const VarRef& ref) {
    return with_cell(block, ref.type, ref.index, [](const auto& cell) { return Value(cur(cell)); });
}

void write_cur(const BlockView& block, const VarRef& ref, const Value& value) {
    with_cell(block, ref.type, ref.index, [&](auto& cell) {
        using Cell = std::remove_cvref_t<decltype(cell)>;
        set_cur(cell, value_as<Cell>(value, ref));
    });
}

void force(const BlockView& block, const VarRef& ref, const Value& value) {
    with_cell(block, ref.type, ref.index, [&](auto& cell) {
        using Cell = std::remove_cvref_t<decltype(cell)>;
        force_cell(cell, value_as<Cell>(value, ref));
    });
}

void unforce(const BlockView& block, const VarRef& ref) {
    with_cell(block, ref.type, ref.index, [](auto& cell) { unforce_cell(cell); });
}

bool is_forced(const BlockView& block, const VarRef& ref) {
    return with_cell(block, ref.type, ref.index, [](const auto& cell) { return forced(cell); });
}

}  // namespace vx::console
