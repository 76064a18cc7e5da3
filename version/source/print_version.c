/* The one line that every program and tool prints for `--version`. */
#include <stdio.h>

#include "vx_version.h"

void vx_print_version(const char* program) {
    printf("%s %s (commit %s)\n", program != NULL ? program : "vx", vx_version(), vx_commit());
}
