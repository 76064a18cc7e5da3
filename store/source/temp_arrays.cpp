// The temporary-array pool and the helpers on arrays in cell format.
//
// Library functions that return a string or a time value hand out a new array
// in the layout of the block's cells, so that generated code can copy it into
// a variable or compare it with one through the same helpers. The arrays come
// from a small private pool: a cursor bumped by every allocation and reset as
// a whole. Allocation never calls the general-purpose allocator and never
// moves the cursor backwards, so an array stays valid until the reset.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "vx/runtime.hpp"

extern "C" {
alignas(16) unsigned char Temp_Alloc[VX_TEMP_POOL_SIZE];
int32_t nb_alloc = 0;
}

namespace {

// The cursor as an address, 0 until the first allocation. After a failed
// allocation it lies beyond the pool, so every further allocation fails as
// well until the pool is reset; an address is kept as a number because it
// may point past the end of the pool.
std::uintptr_t g_next_alloc = 0;

std::uintptr_t pool_start() { return reinterpret_cast<std::uintptr_t>(Temp_Alloc); }
std::uintptr_t pool_end() { return pool_start() + VX_TEMP_POOL_SIZE; }

std::uintptr_t align_address(std::uintptr_t address, std::uintptr_t unit) {
    return address % unit == 0 ? address : address + (unit - address % unit);
}

// What the cursor advances by beyond the elements (the header cells, and one
// spare cell after every int and float array), and the exhaustion message.
template <class Cell> struct PoolArray;
template <> struct PoolArray<BoolCell> {
    static constexpr std::int64_t advance_cells = 2;
    static constexpr const char* exhausted = "unable to allocate a temporary array of boolean\n";
};
template <> struct PoolArray<CharCell> {
    static constexpr std::int64_t advance_cells = 3;
    static constexpr const char* exhausted = "unable to allocate a temporary array of char\n";
};
template <> struct PoolArray<IntCell> {
    static constexpr std::int64_t advance_cells = 3;
    static constexpr const char* exhausted = "unable to allocate a temporary array of int\n";
};
template <> struct PoolArray<FloatCell> {
    static constexpr std::int64_t advance_cells = 3;
    static constexpr const char* exhausted = "unable to allocate a temporary array of float\n";
};

template <class Cell> constexpr std::int32_t kHeader = vx::kArrayHeaderCells<Cell>;

// Room for an array of n elements, or none (with the pool's message). A
// negative count is refused the same way: it would move the cursor back over
// arrays still in use.
template <class Cell> Cell* take(std::int32_t n) {
    using Traits = PoolArray<Cell>;
    if (g_next_alloc == 0) g_next_alloc = pool_start();
    const std::uintptr_t start = align_address(g_next_alloc, sizeof(Cell));
    bool fits = n >= 0 && g_next_alloc <= pool_end();
    if (fits) {
        // Both ends in 64 bits: n + 3 cells of 12 bytes cannot overflow them.
        const auto elements = static_cast<std::uint64_t>(n);
        const std::uint64_t advance = (elements + Traits::advance_cells) * sizeof(Cell);
        const std::uint64_t block = (elements + kHeader<Cell>) * sizeof(Cell);
        const std::uint64_t room = pool_end() - g_next_alloc;
        g_next_alloc = advance > room ? pool_end() + 1 : g_next_alloc + advance;
        fits = advance <= room && block <= pool_end() - std::min(start, pool_end());
    }
    if (!fits) {
        std::fputs(Traits::exhausted, stderr);
        return nullptr;
    }
    ++nb_alloc;
    return reinterpret_cast<Cell*>(start);
}

template <class Cell> void zero_elements(Cell* array, std::int32_t n) {
    for (std::int32_t i = 0; i < n; ++i) vx::set_start_value(array[kHeader<Cell> + i], typename vx::CellTraits<Cell>::Value{});
}

template <class Cell, class F> void for_elements(Cell* dst, const Cell* src, std::int32_t n, F&& copy) {
    if (dst == nullptr || src == nullptr) return;
    for (std::int32_t i = 0; i < n; ++i) copy(dst[kHeader<Cell> + i], src[kHeader<Cell> + i]);
}

template <class Cell, class Equal>
int compare_arrays(const Cell* a, const Cell* b, std::int32_t count_a, std::int32_t count_b, Equal&& equal) {
    if (count_a != count_b) return 0;
    if (count_a <= 0) return 1;
    if (a == nullptr || b == nullptr) return 0;
    for (std::int32_t i = 0; i < count_a; ++i) {
        if (!equal(a[kHeader<Cell> + i], b[kHeader<Cell> + i])) return 0;
    }
    return 1;
}

}  // namespace

extern "C" {

BoolCell* alloc_bool(int32_t n) {
    BoolCell* array = take<BoolCell>(n);
    if (array != nullptr) {
        for (std::int32_t i = 0; i < n; ++i) vx::set_bool_bits(array[kHeader<BoolCell> + i], VX_BOOL_CUR | VX_BOOL_PREV, 0);
    }
    return array;
}

CharCell* alloc_char(int32_t n) {
    CharCell* array = take<CharCell>(n);
    if (array != nullptr) {
        vx::set_start_value(array[0], static_cast<std::uint8_t>((n >> 8) & 0xFF));
        vx::set_start_value(array[1], static_cast<std::uint8_t>(n & 0xFF));
        // Cell 2 and every character.
        for (std::int32_t i = 2; i < kHeader<CharCell> + n; ++i) vx::set_start_value(array[i], std::uint8_t{0});
    }
    return array;
}

IntCell* alloc_int(int32_t n) {
    IntCell* array = take<IntCell>(n);
    if (array != nullptr) zero_elements(array, n);
    return array;
}

FloatCell* alloc_float(int32_t n) {
    FloatCell* array = take<FloatCell>(n);
    if (array != nullptr) zero_elements(array, n);
    return array;
}

void free_all_alloc(void) {
    g_next_alloc = pool_start();
    nb_alloc = 0;
}

int32_t array_char_size(const CharCell* s) {
    if (s == nullptr) return 0;
    return vx::prev(s[0]) * 256 + vx::prev(s[1]);
}

int32_t array_char_len(const CharCell* s) {
    const std::int32_t capacity = array_char_size(s);
    for (std::int32_t i = 0; i < capacity; ++i) {
        if (vx::cur(s[kHeader<CharCell> + i]) == 0) return i;
    }
    return capacity;
}

void copy_bool_array(BoolCell* dst, const BoolCell* src, int32_t n) {
    for_elements(dst, src, n, [](BoolCell& d, const BoolCell& s) { vx::set_cur(d, vx::cur(s)); });
}

void copy_bool_array_negated(BoolCell* dst, const BoolCell* src, int32_t n) {
    for_elements(dst, src, n, [](BoolCell& d, const BoolCell& s) { vx::set_cur(d, !vx::cur(s)); });
}

void copy_int_array(IntCell* dst, const IntCell* src, int32_t n) {
    for_elements(dst, src, n, [](IntCell& d, const IntCell& s) { vx::set_cur(d, vx::cur(s)); });
}

void copy_float_array(FloatCell* dst, const FloatCell* src, int32_t n) {
    for_elements(dst, src, n, [](FloatCell& d, const FloatCell& s) { vx::set_cur(d, vx::cur(s)); });
}

// The destination's capacity bounds the copy: a count beyond it would write
// past the end of the destination's run.
void copy_char_array(CharCell* dst, const CharCell* src, int32_t n) {
    if (dst == nullptr || n <= 0) return;
    n = std::min(n, array_char_size(dst));
    vx::set_start_value(dst[1], static_cast<std::uint8_t>(n & 0xFF));
    for (std::int32_t i = 0; i < n; ++i) vx::set_cur(dst[kHeader<CharCell> + i], std::uint8_t{0});
    const std::int32_t copied = std::min(n, array_char_len(src));
    for (std::int32_t i = 0; i < copied; ++i) vx::set_cur(dst[kHeader<CharCell> + i], vx::cur(src[kHeader<CharCell> + i]));
}

void copy_time_array(IntCell* dst, const IntCell* src) {
    if (dst == nullptr || src == nullptr) return;
    for (int i = 2; i < 4; ++i) {
        vx::set_cur(dst[i], vx::cur(src[i]));
        vx::set_prev(dst[i], vx::prev(src[i]));
        for (int b = 0; b < 3; ++b) vx_store_u8(&dst[i].reserved[b], vx_load_u8(&src[i].reserved[b]));
        vx_store_u8(&dst[i].flags, vx_load_u8(&src[i].flags));
    }
}

void copy_dt_array(IntCell* dst, const IntCell* src) { copy_time_array(dst, src); }

int32_t compare_bool_arrays(const BoolCell* a, const BoolCell* b, int32_t count_a, int32_t count_b) {
    return compare_arrays(a, b, count_a, count_b,
                          [](const BoolCell& x, const BoolCell& y) { return vx::cur(x) == vx::cur(y); });
}

int32_t compare_int_arrays(const IntCell* a, const IntCell* b, int32_t count_a, int32_t count_b) {
    return compare_arrays(a, b, count_a, count_b,
                          [](const IntCell& x, const IntCell& y) { return vx::cur(x) == vx::cur(y); });
}

int32_t compare_float_arrays(const FloatCell* a, const FloatCell* b, int32_t count_a, int32_t count_b) {
    return compare_arrays(a, b, count_a, count_b,
                          [](const FloatCell& x, const FloatCell& y) { return vx::cur(x) == vx::cur(y); });
}

int32_t compare_char_arrays(const CharCell* a, const CharCell* b, int32_t size_a, int32_t size_b) {
    const std::int32_t la = array_char_len(a);
    const std::int32_t lb = array_char_len(b);
    if (la > size_b || lb > size_a) return 0;
    if (la == 0 || lb == 0 || la != lb) return la == lb ? 1 : 0;
    for (std::int32_t i = 0; i < la; ++i) {
        if (vx::cur(a[kHeader<CharCell> + i]) != vx::cur(b[kHeader<CharCell> + i])) return 0;
    }
    return 1;
}

// The bit number is taken modulo 32 as a count of places, so a negative one
// selects a bit too instead of shifting by a negative amount.
uint32_t affect_AnyBit(uint32_t value, int32_t bit, int32_t flag) {
    const std::uint32_t mask = std::uint32_t{1} << static_cast<std::uint32_t>(bit & 31);
    return flag != 0 ? (value | mask) : (value & ~mask);
}

}  // extern "C"
