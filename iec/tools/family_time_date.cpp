// The entries of tables/time.def (still to come).
#include "entries.hpp"

namespace iecgen {

Family time_date() { return Family{"Time and date arithmetic, selection and comparison", {}}; }

}  // namespace iecgen
