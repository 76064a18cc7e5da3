// Unit tests of the runtime and of generated controllers in one process: a
// zeroed block in private memory, started as the executive starts a program,
// and one evolution at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "vx/block.hpp"

namespace vx::testing {

class InProcessController {
public:
    // Starts the linked controller on a fresh block of `size` bytes; the
    // parameters file is `params_file` (none when empty).
    explicit InProcessController(std::size_t size = 1u << 20, const std::string& params_file = "");
    ~InProcessController();
    InProcessController(const InProcessController&) = delete;
    InProcessController& operator=(const InProcessController&) = delete;

    bool started() const { return started_; }
    const BlockView& block() const;
    MemoryHeader* header() const { return header_; }

    // One evolution, framed as in a cycle; returns the evolution's result.
    std::int32_t evolve();

    BoolCell& b(std::int32_t index) const;
    IntCell& i(std::int32_t index) const;
    FloatCell& f(std::int32_t index) const;
    CharCell& c(std::int32_t index) const;

private:
    MemoryHeader* header_ = nullptr;
    std::size_t size_ = 0;
    bool started_ = false;
};

}  // namespace vx::testing
