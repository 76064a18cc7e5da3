// Typed, checked access to a laid-out block, for the runtime and for every
// other participant (tests, the console). A BlockView pairs the header's
// address with a layout that this process trusts: either the one it computed
// itself from the controller's cell counts, or one read from the header and
// validated against the size of the mapping. Every cell index, whatever its
// source, goes through cell<>() and comes back as a null pointer when it
// lies outside its area.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <type_traits>

#include "vx_block.h"

namespace vx {

enum class CellType : std::uint8_t { Bool = 0, Int = 1, Float = 2, Char = 3 };
inline constexpr std::size_t kCellTypes = 4;

// What distinguishes the four cell kinds, in one table.
template <class Cell> struct CellTraits;
template <> struct CellTraits<BoolCell> {
    static constexpr CellType type = CellType::Bool;
    static constexpr char letter = 'B';
    using Value = bool;
};
template <> struct CellTraits<IntCell> {
    static constexpr CellType type = CellType::Int;
    static constexpr char letter = 'I';
    using Value = std::int32_t;
};
template <> struct CellTraits<FloatCell> {
    static constexpr CellType type = CellType::Float;
    static constexpr char letter = 'F';
    using Value = float;
};
template <> struct CellTraits<CharCell> {
    static constexpr CellType type = CellType::Char;
    static constexpr char letter = 'C';
    using Value = std::uint8_t;
};

template <class Cell> constexpr std::size_t area_of() {
    return static_cast<std::size_t>(CellTraits<Cell>::type);
}

inline constexpr std::array<std::uint32_t, kCellTypes> kCellSize{2, 12, 12, 4};

// Element i of an array of cells lies after its header cells: two for bool,
// int and float arrays, three for char arrays and strings (which carry their
// capacity in cells 0 and 1).
template <class Cell> inline constexpr std::int32_t kArrayHeaderCells = std::is_same_v<Cell, CharCell> ? 3 : 2;
inline constexpr std::array<char, kCellTypes> kTypeLetter{'B', 'I', 'F', 'C'};

// Rounds value up to a multiple of unit (unit 0 leaves value as it is).
constexpr std::uint32_t align_up(std::uint32_t value, std::uint32_t unit) {
    if (unit == 0 || value % unit == 0) return value;
    return value + (unit - value % unit);
}

// Cell counts and area offsets of a laid-out block.
struct Layout {
    std::array<std::int32_t, kCellTypes> count{};
    std::array<std::uint32_t, kCellTypes> offset{};
    std::uint32_t space = 0;  // bytes from the block start to the end of the char area

    // The areas for these counts, placed after the header in the order bool,
    // int, float, char, each aligned to its cell size. None when a count is
    // negative or the block would not fit in 32 bits.
    static std::optional<Layout> from_counts(const std::array<std::int32_t, kCellTypes>& counts);

    // The layout that the header announces, accepted only when it is exactly
    // the layout of its counts and fits in `mapped` bytes.
    static std::optional<Layout> from_header(const MemoryHeader& header, std::size_t mapped);

    bool operator==(const Layout&) const = default;
};

// Writes counts and offsets of `layout` into the header.
void write_layout(MemoryHeader& header, const Layout& layout);

// The process id that a controller published in a block (int cell maxInt - 3,
// maxInt being the int count the header announces), or none when the header
// announces no valid layout for `mapped` bytes.
std::optional<std::int32_t> published_process_id(const MemoryHeader& header, std::size_t mapped);

class BlockView {
public:
    BlockView() = default;
    BlockView(MemoryHeader* header, const Layout& layout) : header_(header), layout_(layout) {}

    MemoryHeader* header() const { return header_; }
    const Layout& layout() const { return layout_; }
    explicit operator bool() const { return header_ != nullptr; }

    std::int32_t count(CellType type) const {
        return header_ ? layout_.count[static_cast<std::size_t>(type)] : 0;
    }
    bool contains(CellType type, std::int64_t index) const {
        return index >= 0 && index < count(type);
    }

    template <class Cell> Cell* cell(std::int64_t index) const {
        constexpr std::size_t area = area_of<Cell>();
        if (!contains(CellTraits<Cell>::type, index)) return nullptr;
        auto* base = reinterpret_cast<std::byte*>(header_) + layout_.offset[area];
        return reinterpret_cast<Cell*>(base) + index;
    }
    template <class Cell> Cell* area_start() const {
        if (!header_) return nullptr;
        auto* base = reinterpret_cast<std::byte*>(header_) + layout_.offset[area_of<Cell>()];
        return reinterpret_cast<Cell*>(base);
    }

private:
    MemoryHeader* header_ = nullptr;
    Layout layout_{};
};

// ---- Values of a cell, by kind (built on the field access of vx_block.h) ----

inline bool cur(const BoolCell& c) { return (vx_load_u8(&c.bits) & VX_BOOL_CUR) != 0; }
inline bool prev(const BoolCell& c) { return (vx_load_u8(&c.bits) & VX_BOOL_PREV) != 0; }
inline bool forced(const BoolCell& c) { return (vx_load_u8(&c.bits) & VX_BOOL_FORCED) != 0; }
inline std::int32_t cur(const IntCell& c) { return vx_load_i32(&c.cur); }
inline std::int32_t prev(const IntCell& c) { return vx_load_i32(&c.prev); }
inline float cur(const FloatCell& c) { return vx_load_f32(&c.cur); }
inline float prev(const FloatCell& c) { return vx_load_f32(&c.prev); }
inline std::uint8_t cur(const CharCell& c) { return vx_load_u8(&c.cur); }
inline std::uint8_t prev(const CharCell& c) { return vx_load_u8(&c.prev); }
template <class Cell> bool forced(const Cell& c) { return (vx_load_u8(&c.flags) & VX_CELL_FORCED) != 0; }

// Rewrites byte 0 of a bool cell: the bits in `mask` take the bits of `value`.
inline void set_bool_bits(BoolCell& c, std::uint8_t mask, std::uint8_t value) {
    const auto bits = vx_load_u8(&c.bits);
    vx_store_u8(&c.bits, static_cast<std::uint8_t>((bits & ~mask) | (value & mask)));
}
inline std::uint8_t both_bits(bool v) { return v ? (VX_BOOL_CUR | VX_BOOL_PREV) : 0; }

inline void set_cur(BoolCell& c, bool v) { set_bool_bits(c, VX_BOOL_CUR, v ? VX_BOOL_CUR : 0); }
inline void set_prev(BoolCell& c, bool v) { set_bool_bits(c, VX_BOOL_PREV, v ? VX_BOOL_PREV : 0); }
inline void set_forced(BoolCell& c, bool v) { set_bool_bits(c, VX_BOOL_FORCED, v ? VX_BOOL_FORCED : 0); }
inline void set_cur(IntCell& c, std::int32_t v) { vx_store_i32(&c.cur, v); }
inline void set_prev(IntCell& c, std::int32_t v) { vx_store_i32(&c.prev, v); }
inline void set_cur(FloatCell& c, float v) { vx_store_f32(&c.cur, v); }
inline void set_prev(FloatCell& c, float v) { vx_store_f32(&c.prev, v); }
inline void set_cur(CharCell& c, std::uint8_t v) { vx_store_u8(&c.cur, v); }
inline void set_prev(CharCell& c, std::uint8_t v) { vx_store_u8(&c.prev, v); }
template <class Cell> void set_forced(Cell& c, bool v) {
    const auto flags = vx_load_u8(&c.flags);
    vx_store_u8(&c.flags, static_cast<std::uint8_t>(v ? (flags | VX_CELL_FORCED) : (flags & ~VX_CELL_FORCED)));
}

// A start value: cur and prev together (a bool cell in one byte write).
inline void set_start_value(BoolCell& c, bool v) { set_bool_bits(c, VX_BOOL_CUR | VX_BOOL_PREV, both_bits(v)); }
template <class Cell> void set_start_value(Cell& c, typename CellTraits<Cell>::Value v) {
    set_cur(c, v);
    set_prev(c, v);
}

// cur differs from prev; for floats a NaN always differs.
inline bool changed(const BoolCell& c) { return cur(c) != prev(c); }
template <class Cell> bool changed(const Cell& c) { return !(cur(c) == prev(c)); }

// prev := cur (a float is copied as loaded and stored, bit for bit).
template <class Cell> void snapshot(Cell& c) { set_prev(c, cur(c)); }

// The entries of an index list, walked up to the first 0 or the 1000th entry,
// until `visit` returns false. True when the walk was stopped.
template <class F> bool find_listed(const IndexList& list, F&& visit) {
    for (int i = 0; i < VX_INDEX_LIST_LENGTH; ++i) {
        const std::int32_t index = vx_load_i32(&list.entry[i]);
        if (index == 0) return false;
        if (visit(index)) return true;
    }
    return false;
}

template <class F> void for_each_listed(const IndexList& list, F&& visit) {
    find_listed(list, [&](std::int32_t index) {
        visit(index);
        return false;
    });
}

// The listed cells of one area that lie inside it; entries outside are skipped.
template <class Cell, class F> void for_each_listed_cell(const BlockView& block, const IndexList& list, F&& visit) {
    for_each_listed(list, [&](std::int32_t index) {
        if (Cell* c = block.cell<Cell>(index)) visit(index, *c);
    });
}

}  // namespace vx
