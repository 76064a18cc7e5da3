// The fixture of the in-process tests: the linked controller started on a
// fresh in-memory block as the executive starts it, driven one pass at a
// time, its variables named through its symbol file (VX_SYMBOLS).
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "named_cells.hpp"
#include "vx/testing/in_process.hpp"
#include "vx/testing/quiet_start.hpp"

namespace vx::controllers {

class ControllerTest : public ::testing::Test {
public:
    using Cells = NamedCells<testing::InProcessController>;

protected:
    void SetUp() override {
        ctl_ = testing::start_quietly();
        ASSERT_TRUE(ctl_->started());
        x_.emplace(*ctl_, symbols_);
    }

    const Cells& x() const { return *x_; }
    testing::InProcessController& ctl() const { return *ctl_; }

    void pass(int count = 1) const {
        for (int k = 0; k < count; ++k) ASSERT_EQ(ctl_->evolve(), 0);
    }

    // Runs `passes` passes; the runs of what `outputs` show after each.
    std::vector<Shown> runs(int passes, const std::vector<std::string>& outputs) const {
        std::vector<Shown> out;
        for (int k = 0; k < passes; ++k) {
            pass();
            record(out, x().lights(outputs));
        }
        return out;
    }

    // Passes until `condition` holds after one; how many, or none after `limit`.
    template <class F> std::optional<int> passes_until(F&& condition, int limit = 100000) const {
        for (int k = 1; k <= limit; ++k) {
            pass();
            if (condition()) return k;
        }
        return std::nullopt;
    }

    // The four areas of the block, byte for byte.
    std::vector<std::byte> areas() const {
        const auto& layout = ctl_->block().layout();
        const auto* start = reinterpret_cast<const std::byte*>(ctl_->header()) + layout.offset[0];
        return {start, start + (layout.space - layout.offset[0])};
    }

    void set_period(float microseconds) const { set_start_value(ctl_->f(10), microseconds); }

    const SymbolFile symbols_ = load_symbols(VX_SYMBOLS);

private:
    std::unique_ptr<testing::InProcessController> ctl_;
    std::optional<Cells> x_;
};

}  // namespace vx::controllers
