// Start values, forcing, posting and the per-cycle snapshot. How a cell is
// forced is vx/forcing.hpp's, which the console uses too.
#include "vx/forcing.hpp"
#include "vx/runtime.hpp"

namespace {

template <class Cell> void post(Cell* cell) {
    if (cell != nullptr && vx::forced(*cell)) vx::set_cur(*cell, vx::prev(*cell));
}

template <class Cell> void freeze_array(Cell* array, std::int32_t count) {
    if (array == nullptr) return;
    for (std::int32_t i = 0; i < count; ++i) post(array + vx::kArrayHeaderCells<Cell> + i);
}

template <class Cell> Cell* cell_at(MemoryHeader* header, std::int32_t index) {
    return vx::block_for(header).cell<Cell>(index);
}

template <class Cell> void init(MemoryHeader* header, std::int32_t index, typename vx::CellTraits<Cell>::Value value) {
    if (Cell* cell = cell_at<Cell>(header, index)) vx::set_start_value(*cell, value);
}

template <class Cell> int force(MemoryHeader* header, std::int32_t index, typename vx::CellTraits<Cell>::Value value) {
    Cell* cell = cell_at<Cell>(header, index);
    if (cell == nullptr) return 0;
    vx::force_cell(*cell, value);
    return 1;
}

template <class Cell> int unforce(MemoryHeader* header, std::int32_t index) {
    Cell* cell = cell_at<Cell>(header, index);
    if (cell == nullptr) return 0;
    vx::unforce_cell(*cell);
    return 1;
}

template <class Cell> void snapshot_list(const vx::BlockView& block, const IndexList& list) {
    vx::for_each_listed_cell<Cell>(block, list, [](std::int32_t, Cell& cell) { vx::snapshot(cell); });
}

}  // namespace

extern "C" {

void VX_Bool_Init(MemoryHeader* header, int32_t index, int32_t value) { init<BoolCell>(header, index, (value & 1) != 0); }
void VX_Int_Init(MemoryHeader* header, int32_t index, int32_t value) { init<IntCell>(header, index, value); }
void VX_Float_Init(MemoryHeader* header, int32_t index, float value) { init<FloatCell>(header, index, value); }
void VX_Char_Init(MemoryHeader* header, int32_t index, uint8_t value) { init<CharCell>(header, index, value); }

void VX_post_bool(BoolCell* cell) { post(cell); }
void VX_post_int(IntCell* cell) { post(cell); }
void VX_post_float(FloatCell* cell) { post(cell); }
void VX_post_char(CharCell* cell) { post(cell); }
void VX_freeze_bool(BoolCell* cell) { post(cell); }
void VX_freeze_int(IntCell* cell) { post(cell); }
void VX_freeze_float(FloatCell* cell) { post(cell); }
void VX_freeze_char(CharCell* cell) { post(cell); }
void VX_freeze_bool_array(BoolCell* array, int32_t count) { freeze_array(array, count); }
void VX_freeze_int_array(IntCell* array, int32_t count) { freeze_array(array, count); }
void VX_freeze_float_array(FloatCell* array, int32_t count) { freeze_array(array, count); }
void VX_freeze_char_array(CharCell* array, int32_t count) { freeze_array(array, count); }

int VX_force_bool(MemoryHeader* header, int32_t index, int32_t value) { return force<BoolCell>(header, index, (value & 1) != 0); }
int VX_force_int(MemoryHeader* header, int32_t index, int32_t value) { return force<IntCell>(header, index, value); }
int VX_force_float(MemoryHeader* header, int32_t index, float value) { return force<FloatCell>(header, index, value); }
int VX_force_char(MemoryHeader* header, int32_t index, int32_t value) {
    return force<CharCell>(header, index, static_cast<uint8_t>(value & 0xFF));
}
int VX_unforce_bool(MemoryHeader* header, int32_t index) { return unforce<BoolCell>(header, index); }
int VX_unforce_int(MemoryHeader* header, int32_t index) { return unforce<IntCell>(header, index); }
int VX_unforce_float(MemoryHeader* header, int32_t index) { return unforce<FloatCell>(header, index); }
int VX_unforce_char(MemoryHeader* header, int32_t index) { return unforce<CharCell>(header, index); }

void VX_freeze_memory_for_debug(MemoryHeader* header) {
    const vx::BlockView block = vx::block_for(header);
    if (!block) return;
    snapshot_list<BoolCell>(block, header->traceBool);
    snapshot_list<IntCell>(block, header->traceInt);
    snapshot_list<FloatCell>(block, header->traceFloat);
    snapshot_list<CharCell>(block, header->traceChar);
    snapshot_list<BoolCell>(block, header->watchBool);
}

int VX_addIndex(int32_t index, IndexList* list) {
    if (list == nullptr || index == 0) return 0;
    for (int i = 0; i < VX_INDEX_LIST_LENGTH; ++i) {
        const std::int32_t entry = vx_load_i32(&list->entry[i]);
        if (entry == index) return 0;
        if (entry == 0) {
            vx_store_i32(&list->entry[i], index);
            return 1;
        }
    }
    return 0;
}

int VX_removeIndex(int32_t index, IndexList* list) {
    if (list == nullptr) return 0;
    for (int i = 0; i < VX_INDEX_LIST_LENGTH; ++i) {
        if (vx_load_i32(&list->entry[i]) != index) continue;
        for (int j = i; j + 1 < VX_INDEX_LIST_LENGTH; ++j) vx_store_i32(&list->entry[j], vx_load_i32(&list->entry[j + 1]));
        vx_store_i32(&list->entry[VX_INDEX_LIST_LENGTH - 1], 0);
        return 1;
    }
    return 0;
}

}  // extern "C"
