// Waveforms: a program's trace file, or a scenario run, as a Value Change
// Dump that waveform viewers open (one signal per variable, named from the
// symbol file; bools as wires, ints as 32-bit integers, chars as 8-bit
// vectors, floats as reals; the timescale the largest that divides the
// period, so that times are whole numbers of it), or as CSV (a row per
// cycle with a change, every signal's value in it).
#pragma once

#include <array>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vx/console/session.hpp"
#include "vx/console/values.hpp"

namespace vx::console {

// The trace file, read: its date line, its period line (once tracing
// started) and its change lines.
struct TraceFile {
    struct Change {
        std::int64_t cycle = 0;  // the cycle at whose start the change was seen
        VarRef ref;
        Value prev;
        Value cur;
    };
    std::string date;
    std::optional<double> period;  // microseconds
    std::vector<Change> changes;
};

// Reads a trace file's text; a Failure "<origin>:<line>: <what>" for a line
// that is not the trace's. Variables are named through `symbols` when given.
TraceFile parse_trace(std::string_view text, const std::string& origin, const SymbolTable* symbols,
                      const std::array<std::int32_t, kCellTypes>& counts);

// A waveform written as cycles go: the signals are declared first, then
// every value that changed at a cycle.
class WaveWriter {
public:
    enum class Format { Vcd, Csv };
    WaveWriter(std::ostream& out, Format format, std::string scope, std::vector<VarRef> signals, double period,
               std::string date);

    // The values at `cycle` (in the order of the signals; a value that did
    // not change is not written again). The first call gives the initial
    // values.
    void sample(std::int64_t cycle, const std::vector<Value>& values);
    // The end: a last time stamp one cycle later, so that the last values
    // have a length in a viewer.
    void finish(std::int64_t cycle);

private:
    void header();
    std::string timestamp(std::int64_t cycle) const;

    std::ostream& out_;
    Format format_;
    std::string scope_;
    std::vector<VarRef> signals_;
    std::vector<std::string> ids_;
    std::vector<std::optional<Value>> last_;
    double period_;
    std::string date_;
    std::string timescale_;
    std::int64_t units_per_cycle_ = 1;
    std::int64_t last_cycle_ = -1;
};

// The whole trace file as a waveform.
void write_trace_waveform(const TraceFile& trace, WaveWriter::Format format, const std::string& scope, std::ostream& out);

// vxctl trace export: the trace file at `trace_path` into `out_path`, which
// is opened first (a Failure before anything is read when it cannot be).
void export_trace(const std::string& trace_path, const SymbolTable* symbols,
                  const std::array<std::int32_t, kCellTypes>& counts, const std::string& scope, WaveWriter::Format format,
                  const std::string& out_path);

}  // namespace vx::console
