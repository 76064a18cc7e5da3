// A controller started in process for a unit test: its start-up lines and
// the missing parameters file are the runtime's business, not the test's, so
// they are kept out of the test's output.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "vx/testing/in_process.hpp"

namespace vx::testing {

inline std::unique_ptr<InProcessController> start_quietly() {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    auto controller = std::make_unique<InProcessController>();
    ::testing::internal::GetCapturedStdout();
    ::testing::internal::GetCapturedStderr();
    return controller;
}

}  // namespace vx::testing
