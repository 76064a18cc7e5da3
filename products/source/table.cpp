// The table of actors and products: the library's globals and the small
// accessors that behaviour code uses.
//
// The status of an object lives in its int cell in the shared block, so the
// simulator sees creations and kills at once.
#include "products.hpp"

Matrix* tabOldJointedMatrix = nullptr;
int32_t myself = 0;
int32_t other = 0;
intptr_t otherModel = 0;
ObjectCells otherPointers = {nullptr, nullptr, nullptr, nullptr};

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
