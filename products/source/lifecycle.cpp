// Start-up binding of the table and product creation.
//
// The table comes from generated code and names cells by index; every index
// is checked against the areas the executive laid out before a pointer is
// formed from it, and a table that does not fit the block stops the start-up
// with a message instead of letting behaviour code write beside its cells.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "products.hpp"

namespace vx::products {
namespace {

// The cell `start` of an area of `count` cells, when `needed` cells from it
// lie inside the area. An object may own no cell of a type (needed 0): its
// pointer then may stand just past the area's end.
template <class Cell> Cell* cells_from(Cell* area, std::int32_t count, std::int32_t start, std::int32_t needed) {
    if (area == nullptr || start < 0 || std::int64_t{start} + needed > std::int64_t{count}) return nullptr;
    return area + start;
}

bool bind(std::int32_t i) {
    ActeurProduit& r = TableActeursProduits[i];
    const ObjectCells cells{cells_from(mem.boolCells, memSize.boolCells, r.startBool, 0),
                            cells_from(mem.intCells, memSize.intCells, r.startInt, 1),
                            cells_from(mem.floatCells, memSize.floatCells, r.startFloat, kMatrixCells),
                            cells_from(mem.charCells, memSize.charCells, r.startChar, 0)};
    if (cells.boolCells == nullptr || cells.intCells == nullptr || cells.floatCells == nullptr ||
        cells.charCells == nullptr) {
        return false;
    }
    r.cells = cells;
    vx_store_i32(&cells.intCells->cur, r.initialStatus);
    // A placement that the simulator already wrote into the block is kept; a
    // matrix of zeros (a fresh block) becomes the unit cube at the origin.
    if (all_zero(createMatrixFrom_(cells))) {
        Matrix unit{};
        setUnity(&unit);
        saveMatrix_on_(unit, cells);
    }
    return true;
}

void release() {
    g_bound = BoundTable{};
    std::free(tabOldJointedMatrix);
    tabOldJointedMatrix = nullptr;
    release_step_storage();
    release_intersection_storage();
}

bool allocate(std::int32_t records, std::int32_t actors) {
    // One entry more than records, all cleared: an entry of zeros means that
    // joint2Object has recorded nothing for that carrier yet.
    tabOldJointedMatrix = static_cast<Matrix*>(std::calloc(static_cast<std::size_t>(records) + 1, sizeof(Matrix)));
    return tabOldJointedMatrix != nullptr && reserve_step_storage(records, actors) &&
           reserve_intersection_storage(records);
}

}  // namespace
}  // namespace vx::products

using namespace vx::products;

extern "C" {

int produitsInit(void) {
    // The step's buffers are in use while a behaviour runs.
    if (step_running()) return 0;
    release();
    const std::int32_t records = std::max(NbActeursEtProduits, 0);
    const std::int32_t actors = std::clamp(NbActeurs, 0, records);
    if (!allocate(records, actors)) {
        std::fprintf(stderr, "products: not enough memory for %d actors and products\n", records);
        release();
        return 0;
    }
    for (std::int32_t i = 0; i < records; ++i) {
        if (!bind(i)) {
            std::fprintf(stderr, "products: object %d names cells outside the block\n", i);
            release();
            return 0;
        }
    }
    g_bound = BoundTable{records, actors};
    return 1;
}

int32_t prodNew(BehaviorFunction model, double x, double y, double z, double sx, double sy, double sz) {
    for (std::int32_t i = actor_count(); i < record_count(); ++i) {
        if (record(i).model != model || status_of(i) != VX_OBJECT_KILLED) continue;
        vx_store_i32(&record(i).cells.intCells->cur, VX_OBJECT_ALIVE);
        Matrix m = scale(sx, sy, sz);
        m.entry[3] = x;
        m.entry[7] = y;
        m.entry[11] = z;
        saveMatrix_on_(m, record(i).cells);
        // A new product has no history as a carrier: what joint2Object
        // recorded for the slot's previous object would make whatever is
        // jointed to the new one jump by the distance between the two.
        if (tabOldJointedMatrix != nullptr) tabOldJointedMatrix[i] = Matrix{};
        return i;
    }
    return kRefused;
}

}  // extern "C"
