// The entry point of every controller program: the executive with the
// products library as the plant. Only the program's own path is used, to
// name its trace and parameters files.
#include "vx/executive.hpp"
#include "vx_products.h"

int main(int argc, char** argv) {
    vx::run_program(argc > 0 ? argv[0] : nullptr, vx::PlantHooks{produitsInit, productsStep});
}
