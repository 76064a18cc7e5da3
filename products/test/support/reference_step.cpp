#include "reference_step.hpp"

#include <algorithm>
#include <utility>
#include <vector>

#include "vx_products.h"

namespace vx::products::testing {
namespace {

using Pair = std::pair<int32_t, int32_t>;

bool killed(int32_t i) { return TableActeursProduits[i].cells.intCells->cur == VX_OBJECT_KILLED; }

// The calling protocol, as the real step keeps it: the product's cells in
// `self` and `myself` set at every call, no call for a record without a
// model.
void call(int32_t p) {
    const ObjectCells& cells = TableActeursProduits[p].cells;
    self = VX_Areas{cells.boolCells, cells.intCells, cells.floatCells, cells.charCells};
    myself = p;
    if (TableActeursProduits[p].model != nullptr) TableActeursProduits[p].model();
}

void offer(int32_t p, int32_t o) {
    other = o;
    otherPointers = TableActeursProduits[o].cells;
    otherModel = prodGetModel(o);
    call(p);
}

}  // namespace

void reference_products_step() {
    const int32_t n = NbActeursEtProduits;
    const int32_t a = NbActeurs;
    std::vector<Pair> pairs;
    pairs.reserve(static_cast<std::size_t>(n));
    for (int32_t i = 0; i < n; ++i) {
        computeActorProductTransformedParrallelepipede_into_(TableActeursProduits[i].cells, &TableActeursProduits[i].box);
    }
    for (int32_t p = a; p < n; ++p) {
        if (killed(p)) continue;
        other = n;
        otherModel = 0;
        call(p);
        for (int32_t o = 0; o < n; ++o) {
            if (o == p || killed(o)) continue;
            if (o >= a && o < p) {
                if (std::find(pairs.begin(), pairs.end(), Pair{o, p}) != pairs.end()) offer(p, o);
            } else if (intersects(o, p) != 0) {
                if (o > p) pairs.emplace_back(p, o);
                offer(p, o);
            }
        }
        other = n;
        otherModel = 1;
        call(p);
    }
    myself = n;
}

}  // namespace vx::products::testing
