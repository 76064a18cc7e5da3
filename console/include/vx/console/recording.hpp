// Recordings: what a simulator or a monitor session applied to a program's
// inputs, cycle by cycle, written as a scenario that `sim` replays exactly.
// A recording notes the program it was made with, by name, signature,
// generation time and a fingerprint of its symbol file's layout, so that a
// replay against another program, or a regenerated one, is refused unless
// forced:
//
//   # Recorded by vxctl sim from scenarios/sorel.scn, from cycle 0.
//   program sorel
//   signature 2147483647 generated 1418381562 layout 5f0e...
//   period 50000 us
//   at 0 s jour=1 nuit=0
//   at 12.35 s capteurB=1
//   ...
//   end 80 s
//
// Times are plant times from the first recorded cycle, written as the
// shortest text that reads back as the same double, so a replay at the same
// period applies every change before the same cycle.
#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "vx/console/session.hpp"
#include "vx/console/values.hpp"

namespace vx::console {

// A fingerprint of the symbol file's layout: program, counts, and every
// variable's name, type, cell and role.
std::string layout_fingerprint(const SymbolTable& symbols);

class Recorder {
public:
    // Opens `path` for writing at once, so that a file that cannot be
    // written is an error before anything runs (a Failure).
    static Recorder open(const std::string& path);

    // The heading: where the recording comes from, the program, the period,
    // and lines copied from the scenario (invariants, show).
    void begin(const Session& session, const std::string& origin, const std::vector<std::string>& copied);

    // `name` was set to `value` before the cycle that starts at plant time
    // `t` (seconds from the first recorded cycle).
    void applied(double t, const std::string& name, const Value& value);

    // The end line, at plant time `t`; flushes and checks the file.
    void finish(double t);

private:
    explicit Recorder(std::string path) : path_(std::move(path)) {}
    void flush_line();
    void check() const;

    std::string path_;
    std::ofstream out_;
    bool have_line_ = false;
    double line_at_ = 0.0;
    std::string line_;
};

}  // namespace vx::console
