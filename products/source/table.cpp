// The table of actors and products: the library's globals, the index rule
// and the small accessors that behaviour code uses.
//
// The status of an object lives in its int cell in the shared block, so the
// simulator sees creations and kills at once, and may write the cell too:
// every test reads it afresh.
#include "products.hpp"

Matrix* tabOldJointedMatrix = nullptr;
int32_t myself = 0;
int32_t other = 0;
intptr_t otherModel = 0;
ObjectCells otherPointers = {nullptr, nullptr, nullptr, nullptr};

namespace vx::products {

std::int32_t status_of(std::int32_t i) { return vx_load_i32(&record(i).cells.intCells->cur); }

bool in_range(std::int32_t i) { return i >= 0 && i < record_count(); }

bool valid(std::int32_t i) { return in_range(i) && status_of(i) != VX_OBJECT_KILLED; }

Matrix matrix_of(std::int32_t i) { return createMatrixFrom_(record(i).cells); }

}  // namespace vx::products

using namespace vx::products;

extern "C" {

int32_t prodKill(int32_t index) {
    if (!valid(index)) return -1;
    vx_store_i32(&record(index).cells.intCells->cur, VX_OBJECT_KILLED);
    return index;
}

intptr_t prodGetModel(int32_t index) {
    if (!in_range(index)) return -1;
    return reinterpret_cast<intptr_t>(record(index).model);
}

int32_t prodGetStatus(int32_t index) { return in_range(index) ? status_of(index) : -1; }

void setMyselfFor(int32_t identifier) {
    for (std::int32_t i = 0; i < actor_count(); ++i) {
        if (record(i).actorId == identifier) {
            myself = i;
            return;
        }
    }
}

}  // extern "C"
