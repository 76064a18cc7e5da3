// Scenario files for the plant simulator: timed input changes, random
// arrivals on an input, invariants that must hold after every cycle, and the
// variables to show. Times are those of the controller: a cycle lasts one
// period (float cell 10), so the scenario's clock runs with the program's.
//
//   # tarvo: a day, then a night
//   program tarvo                    the program it is written for (optional)
//   period 50 ms                     sets the cycle period first (optional)
//   seed 7                           seed of the random arrivals (default 1)
//   at 0 s jour=1 nuit=0             input changes at a time
//   at 9 s jour=0 nuit=1
//   random capteurB every 20 s for 2 s      arrivals, exponential intervals
//   random capteurB every 20 s until vertB  ... held until a condition
//   invariant not (vertA & vertB)    checked after every cycle
//   show vert orange rouge X_21      timeline variables (default: outputs)
//   end 30 s                         the scenario's length
//   signature 2147483647 generated 1418381562 layout 5f0e...
//                                    the program a recording was made with
//                                    (vx/console/recording.hpp)
//
// Durations are a number and a unit: s, ms or us ("40 s", "500ms").
// Everything from '#' to the end of a line is a comment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vx::console {

struct Scenario {
    struct Change {
        int line = 0;
        double at = 0.0;  // seconds
        std::vector<std::pair<std::string, std::string>> assignments;  // name, value text
    };
    struct Arrivals {
        int line = 0;
        std::string input;
        double mean = 0.0;  // mean interval, seconds
        double hold = 0.0;  // seconds the input stays 1, when `until` is empty
        std::string until;  // condition that releases the input
    };
    struct Invariant {
        int line = 0;
        std::string text;
    };

    std::string origin;  // the file, for messages
    std::optional<std::string> program;
    int program_line = 0;
    std::optional<double> period;  // microseconds
    std::optional<std::uint64_t> seed;
    std::optional<double> end;  // seconds
    std::vector<Change> changes;
    std::vector<Arrivals> arrivals;
    std::vector<Invariant> invariants;
    std::vector<std::string> show;
    int show_line = 0;
    struct Recorded {
        int line = 0;
        std::int32_t signature = 0;
        std::int32_t generated = 0;
        std::string layout;  // layout_fingerprint of the symbol file
    };
    std::optional<Recorded> recorded;
};

// Reads a scenario; a Failure names the file and the line ("file:12: ...").
Scenario parse_scenario(std::string_view text, const std::string& origin);
Scenario load_scenario(const std::string& path);

}  // namespace vx::console
