// A console session: the block of one controller program, attached as a
// participant (never created, resized or reset), its layout as the header
// announces it, and the program's symbol file when there is one.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "vx/block.hpp"
#include "vx/control_cells.hpp"
#include "vx/console/lights.hpp"
#include "vx/console/symbols.hpp"
#include "vx/console/values.hpp"
#include "vx/platform/shared_memory.hpp"

namespace vx::console {

// The name of an execution status value, or "unknown (<value>)".
std::string status_name(std::int32_t status);

struct AttachOptions {
    std::string block = "Shared";
    std::optional<std::string> symbols;  // a symbol file given by the user
};

class Session {
public:
    // Attaches to the block `options.block`; a Failure when it does not
    // exist, is not laid out, or its symbol file does not match it.
    static Session attach(const AttachOptions& options);

    // A session on a block this process already holds (tests).
    Session(const BlockView& block, std::optional<SymbolTable> symbols, std::string block_name = "test");

    const BlockView& block() const { return block_; }
    const std::string& block_name() const { return block_name_; }
    std::size_t mapped_size() const { return mapped_; }
    const SymbolTable* symbols() const { return symbols_ ? &*symbols_ : nullptr; }
    const std::string& symbols_origin() const { return symbols_origin_; }
    // The program's lights, from the view file beside its symbol file.
    const LightsView& lights() const { return lights_; }
    void set_lights(LightsView lights) { lights_ = std::move(lights); }
    // The symbol table, or a Failure that says how to give one.
    const SymbolTable& require_symbols() const;

    // A variable by the controller's name or in raw form (B5, I523, F10,
    // C3); a Failure naming close names when it is unknown.
    VarRef resolve(std::string_view text) const;
    // The variable of a cell, named when the symbol file knows it.
    VarRef named(CellType type, std::int32_t index) const;

    // Control cells (a Failure when the block is too small to hold them).
    IntCell& int_cell(std::int32_t index) const;
    FloatCell& float_cell(std::int32_t index) const;
    BoolCell& bool_cell(std::int32_t index) const;

    std::int32_t status() const { return cur(int_cell(cells::execstatus)); }
    void set_status(std::int32_t value) const { set_cur(int_cell(cells::execstatus), value); }
    std::int32_t pid_index() const;
    std::int32_t counter_index() const;
    std::int32_t pid() const { return cur(int_cell(pid_index())); }
    std::int32_t counter() const { return cur(int_cell(counter_index())); }
    float period() const { return cur(float_cell(cells::simuperiod)); }
    bool alive() const;

    // The task name held in char cells 0 to 52.
    std::string task_name() const;

    // The program's own path (argv[0] as it was started, made absolute), for
    // its trace file; none when the program is not running here.
    std::optional<std::string> program_argv0() const;

    // Runs one cycle: writes STEP and waits until the cycle has run and the
    // program is back in STOP. A Failure when the program is not running or
    // does not answer. Returns false when the step ended held at a
    // breakpoint instead (the program then waits in PAUSE).
    bool step_once() const;

    // Wakes a program in lockstep mode (VX_SCHEDULE=lockstep), so that it
    // looks at its status at once instead of at its next 10 ms poll.
    void wake() const;

    // Writes STOP and waits until no cycle runs any more.
    void stop_and_settle() const;

    // How long a program may take to answer a step: generous, and longer
    // for long periods.
    std::chrono::milliseconds answer_timeout() const;

private:
    Session() = default;
    void check_symbols_match() const;

    platform::SharedMemory shm_;
    platform::SharedMemory sync_;  // the lockstep sync object, when there is one
    BlockView block_;
    std::size_t mapped_ = 0;
    std::string block_name_;
    std::optional<SymbolTable> symbols_;
    std::string symbols_origin_;
    std::string no_symbols_reason_;
    LightsView lights_;
};

}  // namespace vx::console
