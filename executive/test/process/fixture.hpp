// Process tests of the executive with the test controller.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <thread>

#include "test_controller.h"
#include "vx/testing/program.hpp"

namespace vx::testing {

inline ProgramOptions test_controller(std::map<std::string, std::string> env = {}) {
    ProgramOptions options;
    options.executable = VX_TEST_CONTROLLER;
    options.env = std::move(env);
    return options;
}

// Starts the test controller and attaches to its block.
inline std::unique_ptr<Program> started(ProgramOptions options = test_controller()) {
    auto program = std::make_unique<Program>(std::move(options));
    program->start();
    EXPECT_TRUE(program->attach()) << program->out() << program->err();
    return program;
}

// Ends the program through END and returns its exit status.
inline std::optional<int> end(Program& program) {
    program.set_status(END);
    return program.wait_exit();
}

}  // namespace vx::testing
