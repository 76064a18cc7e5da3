#include "vx/platform/shared_memory.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace vx::platform {
namespace {

constexpr std::size_t kMaxNameLength = 29;
constexpr int kOpenAttempts = 8;

std::string object_name(std::string_view name) { return "/" + std::string(name); }

std::string describe(std::string_view name, const char* what) {
    return "shared block \"" + std::string(name) + "\": " + what + ": " + std::strerror(errno);
}

int flock_retrying(int fd, int operation) {
    int rc;
    do {
        rc = ::flock(fd, operation);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

int truncate_retrying(int fd, off_t size) {
    int rc;
    do {
        rc = ::ftruncate(fd, size);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

}  // namespace

bool valid_block_name(std::string_view name) {
    return !name.empty() && name.size() <= kMaxNameLength && name.find('/') == std::string_view::npos &&
           name.find('\0') == std::string_view::npos;
}

SharedMemory::SharedMemory(SharedMemory&& other) noexcept
    : name_(std::move(other.name_)),
      fd_(std::exchange(other.fd_, -1)),
      address_(std::exchange(other.address_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      created_(std::exchange(other.created_, false)),
      holding_(std::exchange(other.holding_, false)) {}

SharedMemory& SharedMemory::operator=(SharedMemory&& other) noexcept {
    if (this != &other) {
        release();
        name_ = std::move(other.name_);
        fd_ = std::exchange(other.fd_, -1);
        address_ = std::exchange(other.address_, nullptr);
        size_ = std::exchange(other.size_, 0);
        created_ = std::exchange(other.created_, false);
        holding_ = std::exchange(other.holding_, false);
    }
    return *this;
}

SharedMemory::~SharedMemory() { release(); }

void SharedMemory::release() {
    leave();
    if (address_ != nullptr) ::munmap(address_, size_);
    if (fd_ >= 0) ::close(fd_);
    address_ = nullptr;
    fd_ = -1;
    size_ = 0;
}

void SharedMemory::leave() {
    if (!holding_) return;
    holding_ = false;
    // Converting the shared lock is not atomic, so a failed attempt leaves us
    // holding nothing; that is fine, we are on our way out.
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
        struct stat st {};
        // Remove the name only if it still names our object.
        if (::fstat(fd_, &st) == 0 && st.st_nlink > 0) ::shm_unlink(object_name(name_).c_str());
    }
    ::flock(fd_, LOCK_UN);
}

void SharedMemory::remove(std::string_view name) { ::shm_unlink(object_name(name).c_str()); }

SharedMemory SharedMemory::open(std::string_view name, std::size_t size, OpenMode mode, std::string& error) {
    if (!valid_block_name(name)) {
        error = "shared block name \"" + std::string(name) +
                "\" is not valid: it must be 1 to 29 characters without '/'";
        return {};
    }
    return open_object(name, size, mode, error);
}

SharedMemory SharedMemory::open_companion(std::string_view block_name, std::string_view suffix, std::size_t size,
                                          OpenMode mode, std::string& error) {
    if (!valid_block_name(block_name) || suffix.find('/') != std::string_view::npos) {
        error = "shared block name \"" + std::string(block_name) +
                "\" is not valid: it must be 1 to 29 characters without '/'";
        return {};
    }
    return open_object(std::string(block_name) + std::string(suffix), size, mode, error);
}

SharedMemory SharedMemory::open_object(std::string_view name, std::size_t size, OpenMode mode, std::string& error) {
    SharedMemory block;
    const bool create = mode == OpenMode::CreateOrAttach;
    if (create && (size == 0 || size > static_cast<std::size_t>(INT32_MAX))) {
        error = "shared block \"" + std::string(name) + "\": size " + std::to_string(size) + " is not valid";
        return block;
    }
    const std::string path = object_name(name);

    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        const int flags = O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0);
        const int fd = ::shm_open(path.c_str(), flags, 0600);
        if (fd < 0) {
            error = errno == ENOENT ? "shared block \"" + std::string(name) + "\" does not exist"
                                    : describe(name, "cannot open");
            return block;
        }
        block.name_ = std::string(name);
        block.fd_ = fd;

        struct stat st {};
        if (::fstat(fd, &st) != 0) {
            error = describe(name, "cannot inspect");
            block.release();
            return block;
        }
        if (st.st_uid != ::geteuid()) {
            error = "shared block \"" + std::string(name) + "\" belongs to another user (uid " +
                    std::to_string(st.st_uid) + ")";
            block.release();
            return block;
        }

        bool is_new = false;
        if (create && ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            is_new = true;
        } else if (flock_retrying(fd, LOCK_SH) != 0) {
            error = describe(name, "cannot lock");
            block.release();
            return block;
        }
        block.holding_ = true;

        if (::fstat(fd, &st) != 0) {
            error = describe(name, "cannot inspect");
            block.release();
            return block;
        }
        if (st.st_nlink == 0) {  // the last participant removed it meanwhile
            block.release();
            continue;
        }
        if (is_new) {
            // Nobody holds it: empty it so that it comes back zero-filled.
            if (truncate_retrying(fd, 0) != 0 || truncate_retrying(fd, static_cast<off_t>(size)) != 0) {
                error = describe(name, "cannot size");
                block.release();
                return block;
            }
            if (flock_retrying(fd, LOCK_SH) != 0) {
                error = describe(name, "cannot lock");
                block.holding_ = false;
                block.release();
                return block;
            }
            block.created_ = true;
            st.st_size = static_cast<off_t>(size);
        }

        std::size_t map_size = size;
        if (create) {
            if (static_cast<std::size_t>(st.st_size) < size && truncate_retrying(fd, static_cast<off_t>(size)) != 0) {
                error = describe(name, "cannot grow");
                block.release();
                return block;
            }
        } else {
            const auto object_size = static_cast<std::size_t>(st.st_size);
            if (object_size == 0) {
                error = "shared block \"" + std::string(name) + "\" does not exist (it is empty)";
                block.release();
                return block;
            }
            if (map_size == 0 || map_size > object_size) map_size = object_size;
        }

        void* address = ::mmap(nullptr, map_size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (address == MAP_FAILED) {
            error = describe(name, "cannot map");
            block.release();
            return block;
        }
        block.address_ = address;
        block.size_ = map_size;
        return block;
    }
    error = "shared block \"" + std::string(name) + "\" keeps disappearing while it is opened";
    return block;
}

}  // namespace vx::platform
