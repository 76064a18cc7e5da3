// The executive's handling of the trace file between cycles.
#pragma once

namespace vx {

inline constexpr long kTraceSizeLimit = 1000000;

// Flushes the trace file if one is open.
void flush_trace();

// Flushes the trace file and closes it for good once it has grown beyond
// kTraceSizeLimit bytes: tracing then stays off for the rest of the run.
void flush_and_limit_trace();

// Closes the trace file if one is open.
void close_trace();

}  // namespace vx
