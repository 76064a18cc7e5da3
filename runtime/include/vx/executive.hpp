// Pieces of the cycle executive that stand on their own, so that they can be
// checked one by one.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "vx/block.hpp"
#include "vx_runtime.h"

namespace vx {

// The trace file and the parameters file are named after the program's path:
// a three-letter extension (a dot fourth from the end, in the last path
// component) becomes "trc", or is replaced by "_params.txt"; a path without
// one gets ".trc" and "_params.txt" appended.
struct FileNames {
    std::string trace;
    std::string parameters;
};
FileNames derive_file_names(std::string_view program_path);

// VX_TIMEOUT as a number of 10 ms waits in STOP: the leading decimal number
// times 100, clamped to int32; 0 (no limit) when the variable is absent, is
// longer than 9 characters or does not start with a number.
std::int32_t timeout_waits(const std::optional<std::string>& value);

// The ring slot of a cycle counter, in 0 to 99 even for negative counters.
constexpr int ring_slot(std::int32_t counter) { return ((counter % 100) + 100) % 100; }

// The cycle counter's successor: 2147483647 is followed by 0.
constexpr std::int32_t next_cycle(std::int32_t counter) { return counter == INT32_MAX ? 0 : counter + 1; }

// Cycle statistics of the process, published in the float control cells.
class CycleStatistics {
public:
    // Takes the duration of the cycle whose counter read `counter`, with
    // `modifications` state modifications.
    void record(std::uint32_t duration, std::int32_t counter, std::int32_t modifications);

private:
    std::int32_t nb_ = 0;     // durations in the mean, at most 100
    std::int64_t count_ = 0;  // sum of the durations in the ring
    std::array<std::int32_t, 100> tab_{};
};

// One line of a parameters file: type letter, cell index, value token.
struct ParameterLine {
    char letter = 0;
    std::int32_t index = 0;
    std::string value;
};

// Splits a line as "%c %d %s %s" does: the letter is the first character
// (whatever it is), then a decimal index, a value token of at most 63
// characters and a fourth token that is not used. None when the line does
// not yield all four.
std::optional<ParameterLine> parse_parameter_line(std::string_view line);

// Lays out `header` for the controller's cell counts, as the executive does
// at start-up: prints the space needed, refuses a block that is too small or
// counts that cannot be laid out (message, false), and otherwise installs the
// block as the program's block.
bool lay_out_block(MemoryHeader* header, std::size_t block_size, const VX_Sizes& counts);

// The start-up of a controller on an open block of `block_size` bytes, after
// memorySizeInit: layout, bounds, control variables, the controller's
// initialisation and start values, the parameters file, the start status and
// its report. False (with a message) when the block cannot take the
// controller.
bool start_controller(MemoryHeader* header, std::size_t block_size);

// One evolution of the controller, framed as in every cycle: cursors
// rebound, input hook, behaviorsStep, output hook. Returns the evolution's
// result.
std::int32_t evolve_once();

// Bytes of the block that this process may use: what openMemory recorded.
std::size_t opened_block_size();
// Its name, empty before openMemory has opened one.
std::string opened_block_name();

// Runs the controller program started as `program_path` until END; never
// returns (the exit status is 0 after END, 1 when the block is too small and
// 255 when it cannot be opened).
[[noreturn]] void run_program(const char* program_path);

}  // namespace vx
