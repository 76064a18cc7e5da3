// The process's one mapping of the shared block.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "vx/numbers.hpp"
#include "vx/platform/shared_memory.hpp"
#include "vx/platform/system.hpp"
#include "vx/runtime.hpp"

namespace {

constexpr std::int32_t kDefaultSize = 6000000;
constexpr const char* kDefaultName = "Shared";
// The variables were read into 30-byte buffers: longer values have no meaning
// and fall back to the defaults.
constexpr std::size_t kMaxVariableLength = 29;

vx::platform::SharedMemory hmem;    // the named mapping, none until opened
void* shared_memory = nullptr;      // this process's view of it
std::size_t recorded_size = 0;      // what openMemory wrote into blockSize

std::optional<std::string> configured(const char* variable) {
    auto value = vx::platform::environment(variable);
    if (value && value->size() > kMaxVariableLength) return std::nullopt;
    return value;
}

// VX_MEMORY_SIZE, read at every open: a positive decimal number, else 6000000.
std::int32_t configured_size() {
    const auto text = configured("VX_MEMORY_SIZE");
    if (!text) return kDefaultSize;
    const auto size = vx::leading_int(*text);
    return size && *size > 0 ? *size : kDefaultSize;
}

std::string configured_name() { return configured("VX_MEMORY_NAME").value_or(kDefaultName); }

// The process id of another controller program that is alive on the block,
// if any. Its cells would be overwritten by a second layout and both programs
// would then write into each other's variables. A block left by a program
// that is gone, or held only by a simulator or a console (which publish no
// process id), has none.
std::optional<std::int32_t> live_controller(const MemoryHeader& header, std::size_t mapped) {
    const auto pid = vx::published_process_id(header, mapped);
    if (!pid || *pid == vx::platform::process_id() || !vx::platform::process_exists(*pid)) return std::nullopt;
    return pid;
}

}  // namespace

std::size_t vx::opened_block_size() { return recorded_size; }
std::string vx::opened_block_name() { return hmem.is_open() ? hmem.name() : std::string(); }

extern "C" {

MemoryHeader* openMemory(void) {
    const std::int32_t size = configured_size();
    if (!hmem.is_open()) {
        std::string error;
        hmem = vx::platform::SharedMemory::open(configured_name(), static_cast<std::size_t>(size),
                                                vx::platform::OpenMode::CreateOrAttach, error);
        if (!hmem.is_open()) {
            std::fprintf(stderr, "%s\n", error.c_str());
            return nullptr;
        }
        if (!hmem.created()) {
            if (const auto pid = live_controller(*static_cast<const MemoryHeader*>(hmem.address()), hmem.size())) {
                std::fprintf(stderr,
                             "shared block \"%s\" is in use by the controller program with process id %d; "
                             "a second controller does not start on it\n",
                             hmem.name().c_str(), static_cast<int>(*pid));
                hmem = vx::platform::SharedMemory();  // leaves the block as it was
                return nullptr;
            }
        }
        shared_memory = hmem.address();
    } else if (static_cast<std::size_t>(size) > hmem.size()) {
        // The mapping is what it is; never announce more than is mapped.
        std::fprintf(stderr, "shared block \"%s\": size %d is larger than the mapping (%zu bytes); keeping %zu\n",
                     hmem.name().c_str(), size, hmem.size(), hmem.size());
    }
    auto* header = static_cast<MemoryHeader*>(shared_memory);
    const auto recorded = static_cast<std::int32_t>(std::min<std::size_t>(static_cast<std::size_t>(size), hmem.size()));
    recorded_size = static_cast<std::size_t>(recorded);
    if (hmem.size() >= sizeof header->blockSize) vx_store_i32(&header->blockSize, recorded);
    return header;
}

int closeMemory(MemoryHeader* /*header*/) {
    // The mapping stays until the process ends; only the name's lifetime is
    // settled here: the last participant to leave removes it.
    hmem.leave();
    return 1;
}

int destroyMemory(void) {
    if (shared_memory != nullptr && shared_memory == vx::executive_block().header()) vx::uninstall_block();
    hmem = vx::platform::SharedMemory();
    shared_memory = nullptr;
    recorded_size = 0;
    return 1;
}

int eraseMemory(MemoryHeader* block) {
    if (block == nullptr) return 0;
    const std::int32_t size = vx_load_i32(&block->blockSize);
    if (size <= 0) return 1;
    // Only this process's own mapping is known to hold `size` bytes.
    if (block != shared_memory || static_cast<std::size_t>(size) > hmem.size()) return 0;
    std::memset(static_cast<void*>(block), 0, static_cast<std::size_t>(size));
    vx_store_i32(&block->blockSize, size);
    return 1;
}

}  // extern "C"
