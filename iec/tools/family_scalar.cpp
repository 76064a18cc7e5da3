// The entries of tables/scalar.def (still to come).
#include "entries.hpp"

namespace iecgen {

Family scalar() { return Family{"Bitwise, selection, comparison, arithmetic and numeric functions", {}}; }

}  // namespace iecgen
