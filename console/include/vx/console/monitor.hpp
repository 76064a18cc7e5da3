// The live view of a controller: status line and statistics, inputs,
// outputs, active steps with their timers, forced marks, for the
// traffic-light programs the lights, for programs with function blocks
// their outputs, and for programs with plant objects a view of the plant.
#pragma once

#include <chrono>
#include <string>

#include "vx/console/recording.hpp"
#include "vx/console/session.hpp"

namespace vx::console {

struct FrameOptions {
    bool colour = false;
    bool keys = false;  // the key help of the interactive view
    int width = 80;     // columns of the terminal, for the plant view
};

// The columns of the terminal on standard output, or 80 when it is none.
int terminal_width();

// One frame of the view, as lines of text.
std::string render_frame(const Session& session, const FrameOptions& options);

// The interactive view on the terminal: refreshes every `interval` and
// takes keys (r run, s stop, n or space step, 1-9 toggle an input, q quit)
// until q or an interrupt. A Failure when standard input or output is not a
// terminal. With a recorder, every input toggled is recorded as applied
// before the cycle that the counter names when the key is taken (exact when
// the program is stepped, as close as the view can tell when it runs), and
// the recording ends at the cycle the counter shows when the view is left.
void run_monitor(const Session& session, std::chrono::milliseconds interval, bool colour, Recorder* recorder = nullptr);

}  // namespace vx::console
