// The products step. None of the controllers built here declares an actor
// or a product, so the table is empty: start-up binds nothing and the step
// runs no behaviour.
#include "vx_runtime.h"

extern "C" {

int produitsInit(void) { return 1; }

void productsStep(void) {}

}  // extern "C"
