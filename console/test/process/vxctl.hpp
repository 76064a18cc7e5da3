// Process tests of vxctl: a real controller program on a private block, and
// vxctl run against it as a user runs it.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "vx/testing/program.hpp"

namespace vx::console::testing {

using namespace vx::testing;

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs vxctl with `args` and waits for it (killed after 60 s).
Outcome vxctl(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {});

// Runs any program of the build the same way.
Outcome run_tool(const std::string& executable, const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env = {});

inline bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The path of a controller program of this build, empty when it is not built.
std::string program_path(const std::string& name);

// A program started on a private block, at a short period, with vxctl bound
// to its block (and to a symbol file, if one is given); `env` adds to its
// environment (VX_SCHEDULE=lockstep for `sim --fast`).
class Controller {
public:
    explicit Controller(const std::string& executable, std::string symbols = {}, float period = 2000.0f,
                        std::map<std::string, std::string> env = {});
    ~Controller();

    Program& program() { return *program_; }
    Outcome run(std::vector<std::string> args) const;
    bool block_exists() const;

private:
    std::unique_ptr<Program> program_;
    std::string symbols_;
};

}  // namespace vx::console::testing
