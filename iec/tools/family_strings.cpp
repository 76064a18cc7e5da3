// The entries of tables/strings.def (still to come).
#include "entries.hpp"

namespace iecgen {

Family strings() { return Family{"String functions", {}}; }

}  // namespace iecgen
