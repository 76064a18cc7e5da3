// Named shared memory whose lifetime follows its holders: a block lives while
// some process holds it, and a block that nobody holds is gone.
//
// The block "NAME" is the POSIX shared memory object "/NAME" (/dev/shm/NAME),
// created with mode 0600. Every participant holds a shared flock on the
// object's descriptor for as long as it maps it, which gives the protocol:
//
//  - An opener that obtains the exclusive lock without waiting knows that
//    nobody holds the object: it is new (or left behind by a process that was
//    killed), so the opener empties and resizes it, which zero-fills it, and
//    then downgrades to the shared lock. A controller thus never inherits
//    step activities or outputs from an earlier run.
//  - Any other opener waits for the shared lock; the block is shared as it is.
//  - A participant that leaves and can take the exclusive lock without
//    waiting is the last one and removes the name.
//  - An object found unlinked after locking (the last participant removed the
//    name meanwhile) is dropped and the name is opened afresh.
//
// An existing object smaller than the requested size is grown to it, never
// mapped short; an object owned by another user is refused.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vx::platform {

enum class OpenMode {
    CreateOrAttach,  // the controller program: create the block if needed
    AttachOnly,      // tools: never create, resize or reset a block
};

// A name can name a block when it is not empty, holds no '/' and is at most
// 29 characters long.
bool valid_block_name(std::string_view name);

class SharedMemory {
public:
    SharedMemory() = default;
    SharedMemory(SharedMemory&& other) noexcept;
    SharedMemory& operator=(SharedMemory&& other) noexcept;
    SharedMemory(const SharedMemory&) = delete;
    SharedMemory& operator=(const SharedMemory&) = delete;
    ~SharedMemory();

    // Opens the block `name`. With CreateOrAttach, `size` bytes are mapped
    // (the object is created or grown to that size); with AttachOnly, `size`
    // 0 maps the whole existing object. On failure the result is not open and
    // `error` says why, in a sentence that names the block.
    static SharedMemory open(std::string_view name, std::size_t size, OpenMode mode, std::string& error);

    // Opens the companion object "<block_name><suffix>" of a block (the
    // lockstep handshake beside it, for instance), with the same lifetime
    // protocol; the block's name is checked, the suffix is the caller's.
    static SharedMemory open_companion(std::string_view block_name, std::string_view suffix, std::size_t size,
                                       OpenMode mode, std::string& error);

    bool is_open() const { return address_ != nullptr; }
    void* address() const { return address_; }
    std::size_t size() const { return size_; }
    bool created() const { return created_; }
    const std::string& name() const { return name_; }

    // Removes the name `name` whoever holds the block: those who map it keep
    // their mapping, later openers find no block. For the owner of a name
    // that nobody else may use any longer (a test's private block).
    static void remove(std::string_view name);

    // Gives up the shared lock; the last participant removes the name. The
    // mapping stays until the object is destroyed.
    void leave();

private:
    static SharedMemory open_object(std::string_view name, std::size_t size, OpenMode mode, std::string& error);
    void release();

    std::string name_;
    int fd_ = -1;
    void* address_ = nullptr;
    std::size_t size_ = 0;
    bool created_ = false;
    bool holding_ = false;
};

}  // namespace vx::platform
