// The executive's globals: the block, its areas and cursors, the bounds of
// the controller's cells and the pointers to the fixed control variables.
#include "vx_runtime.h"

MemoryHeader* memHeader = nullptr;
VX_Areas mem = {nullptr, nullptr, nullptr, nullptr};
VX_Areas self = {nullptr, nullptr, nullptr, nullptr};
int32_t self_num = 0;
VX_Sizes minSize = {0, 0, 0, 0};
VX_Sizes maxSize = {0, 0, 0, 0};
VX_Sizes memSize = {0, 0, 0, 0};
int32_t minBool = 0, minInt = 0, minFloat = 0, minChar = 0;
int32_t maxBool = 0, maxInt = 0, maxFloat = 0, maxChar = 0;
int32_t pospid = 0, posmxsimucounter = 0, posmxmicrostepcounter = 0;
int32_t nbStateModification = 0;

#define VX_CONTROL_CELL(name, type, index) type##Cell* name = nullptr;
#include "vx_control_cells.def"

char tracename[VX_FILE_NAME_CAPACITY] = "";
char paramfilename[VX_FILE_NAME_CAPACITY] = "";
double timeNow = 0.0;
