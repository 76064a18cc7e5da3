// The entry point of every controller program. Only the program's own path
// is used, to name its trace and parameters files.
#include "vx/executive.hpp"

int main(int argc, char** argv) { vx::run_program(argc > 0 ? argv[0] : nullptr); }
