// The library's error flag: 0 means no error. The executive clears it at the
// start of every cycle.
#include "vx_runtime.h"

int32_t LIBFB_ERR = 0;
