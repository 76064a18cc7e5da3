// Shared pieces of the runtime's unit tests: what the runtime writes on its
// standard streams, and a test that runs with the test controller started on
// a private in-memory block.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>

#include "test_controller.h"
#include "vx/testing/in_process.hpp"
#include "vx/testing/quiet_start.hpp"
#include "vx_runtime.h"

namespace vx::unit {

// What `action` writes on standard output (the runtime writes with printf).
template <class F> std::string stdout_of(F&& action) {
    ::testing::internal::CaptureStdout();
    action();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
}

template <class F> std::string stderr_of(F&& action) {
    ::testing::internal::CaptureStderr();
    action();
    std::fflush(stderr);
    return ::testing::internal::GetCapturedStderr();
}

// The test controller, started as the executive starts a program; its
// start-up lines are kept out of the test's output.
class ControllerTest : public ::testing::Test {
protected:
    void SetUp() override {
        ctl_ = testing::start_quietly();
        ASSERT_TRUE(ctl_->started());
    }
    void TearDown() override { ctl_.reset(); }

    testing::InProcessController& ctl() { return *ctl_; }
    MemoryHeader* header() { return ctl_->header(); }
    BoolCell& b(std::int32_t index) { return ctl_->b(index); }
    IntCell& i(std::int32_t index) { return ctl_->i(index); }
    FloatCell& f(std::int32_t index) { return ctl_->f(index); }
    CharCell& c(std::int32_t index) { return ctl_->c(index); }

private:
    std::unique_ptr<testing::InProcessController> ctl_;
};

}  // namespace vx::unit
