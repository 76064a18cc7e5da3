// The console's one kind of failure: a sentence for the user. Commands throw
// it, main prints it on standard error and exits with status 1; nothing has
// been written to the block when a command fails on its input.
#pragma once

#include <stdexcept>
#include <string>

namespace vx::console {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace vx::console
