// The parameters file, as a program reads it at start-up: arbitrary text in
// the file, applied to a started controller's block.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "vx/testing/in_process.hpp"
#include "vx_runtime.h"

namespace {

// In memory-backed storage: the file is rewritten for every input.
struct ScratchFile {
    std::string name = "/dev/shm/vx_fuzz_params_" + std::to_string(::getpid()) + ".txt";
    ~ScratchFile() { ::unlink(name.c_str()); }
};

const std::string& file_name() {
    static const ScratchFile file;
    return file.name;
}

vx::testing::InProcessController& controller() {
    static vx::testing::InProcessController started;
    return started;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    controller();
    std::FILE* file = std::fopen(file_name().c_str(), "wb");
    if (file == nullptr) return 0;
    std::fwrite(data, 1, size, file);
    std::fclose(file);
    std::strncpy(paramfilename, file_name().c_str(), VX_FILE_NAME_CAPACITY - 1);
    VXD_read_parameters();
    return 0;
}
