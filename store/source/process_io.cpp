// Process I/O. The simulator reads and writes the controller's variables in
// the shared block itself, so the per-cycle hooks have nothing to exchange;
// the converters move plain values to and from cells for an I/O layer.
#include "vx/runtime.hpp"

namespace {

// Element i of a cell address table is at entry i + 2.
constexpr std::int32_t kFirstEntry = 2;

template <class Cell, class Value, class Store>
void into_cells(Cell* const* table, const Value* values, std::int32_t count, Store store) {
    if (table == nullptr || values == nullptr) return;
    for (std::int32_t i = 0; i < count; ++i) {
        if (Cell* cell = table[i + kFirstEntry]) store(*cell, values[i]);
    }
}

template <class Cell, class Value, class Load>
void from_cells(Cell* const* table, Value* values, std::int32_t count, Load load) {
    if (table == nullptr || values == nullptr) return;
    for (std::int32_t i = 0; i < count; ++i) {
        if (const Cell* cell = table[i + kFirstEntry]) values[i] = load(*cell);
    }
}

}  // namespace

extern "C" {

void VX_init_ios(MemoryHeader* /*header*/) {}
int VX_read_inputs(MemoryHeader* /*header*/) { return 1; }
int VX_write_outputs(MemoryHeader* /*header*/) { return 1; }
void VX_wait_mutex(void) {}
void VX_release_mutex(void) {}

void VX_read_boolean_array(BoolCell* const* table, const uint8_t* values, int32_t count) {
    into_cells(table, values, count, [](BoolCell& c, uint8_t v) { vx::set_cur(c, (v & 1) != 0); });
}
void VX_write_boolean_array(BoolCell* const* table, uint8_t* values, int32_t count) {
    from_cells(table, values, count, [](const BoolCell& c) -> uint8_t { return vx::cur(c) ? 1 : 0; });
}
void VX_read_integer_array(IntCell* const* table, const int32_t* values, int32_t count) {
    into_cells(table, values, count, [](IntCell& c, int32_t v) { vx::set_cur(c, v); });
}
void VX_write_integer_array(IntCell* const* table, int32_t* values, int32_t count) {
    from_cells(table, values, count, [](const IntCell& c) { return vx::cur(c); });
}
void VX_read_float_array(FloatCell* const* table, const float* values, int32_t count) {
    into_cells(table, values, count, [](FloatCell& c, float v) { vx::set_cur(c, v); });
}
void VX_write_float_array(FloatCell* const* table, float* values, int32_t count) {
    from_cells(table, values, count, [](const FloatCell& c) { return vx::cur(c); });
}
void VX_read_character_array(CharCell* const* table, const uint8_t* values, int32_t count) {
    into_cells(table, values, count, [](CharCell& c, uint8_t v) { vx::set_cur(c, v); });
}
// Takes element i from entry i + 2 like every other converter: a table for n
// elements has n + 2 entries, so entry i + 3 would read past its end.
void VX_write_character_array(CharCell* const* table, uint8_t* values, int32_t count) {
    from_cells(table, values, count, [](const CharCell& c) { return vx::cur(c); });
}

}  // extern "C"
