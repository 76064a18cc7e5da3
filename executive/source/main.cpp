// The entry point of every controller program: the executive with the
// products library as the plant. A controller takes no arguments: only its
// own path is used, to name its trace and parameters files. The one
// exception is `--version` alone, which prints the version and ends before
// anything is opened, so the start-up lines stay as they are.
#include <cstring>

#include "vx/executive.hpp"
#include "vx_products.h"
#include "vx_version.h"

namespace {

const char* program_name(const char* path) {
    const char* slash = path != nullptr ? std::strrchr(path, '/') : nullptr;
    return slash != nullptr ? slash + 1 : path;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        vx_print_version(program_name(argv[0]));
        return 0;
    }
    vx::run_program(argc > 0 ? argv[0] : nullptr, vx::PlantHooks{produitsInit, productsStep});
}
