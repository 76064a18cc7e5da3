// The trace file: the value changes of the listed variables, one line per
// change, with the number of the cycle in which the change was noticed.
//
//   Mon Dec  7 05:25:30 2026        date line, at every (re)start of the file
//   50000                           period line, at the first traced cycle
//   42 B7 0:1                       cycle, type letter and index, prev:cur
//   42 I523 99:100
//   42 F10 0.5:1.25
//   42 C3 0:65
#include "vx/trace.hpp"

#include <climits>
#include <string>

#include "vx/numbers.hpp"
#include "vx/platform/system.hpp"
#include "vx/runtime.hpp"

FILE* trace = nullptr;

namespace {

bool first_line = true;  // the next traced cycle starts with the period line

long cycle_number() {
    const IntCell* counter = vx::executive_block().cell<IntCell>(posmxsimucounter);
    return counter != nullptr ? vx::cur(*counter) : 0;
}

void write_change(long cycle, std::int32_t index, const BoolCell& c) {
    std::fprintf(trace, "%ld B%d %d:%d\n", cycle, index, vx::prev(c) ? 1 : 0, vx::cur(c) ? 1 : 0);
}
void write_change(long cycle, std::int32_t index, const IntCell& c) {
    std::fprintf(trace, "%ld I%d %ld:%ld\n", cycle, index, static_cast<long>(vx::prev(c)), static_cast<long>(vx::cur(c)));
}
void write_change(long cycle, std::int32_t index, const FloatCell& c) {
    std::fprintf(trace, "%ld F%d %g:%g\n", cycle, index, static_cast<double>(vx::prev(c)), static_cast<double>(vx::cur(c)));
}
void write_change(long cycle, std::int32_t index, const CharCell& c) {
    std::fprintf(trace, "%ld C%d %d:%d\n", cycle, index, vx::prev(c), vx::cur(c));
}

template <class Cell> void trace_list(const vx::BlockView& block, const IndexList& list, long cycle) {
    vx::for_each_listed_cell<Cell>(block, list, [cycle](std::int32_t index, const Cell& cell) {
        if (vx::changed(cell)) write_change(cycle, index, cell);
    });
}

}  // namespace

namespace vx {

void flush_trace() {
    if (trace != nullptr) std::fflush(trace);
}

void flush_and_limit_trace() {
    if (trace == nullptr) return;
    std::fflush(trace);
    if (std::ftell(trace) > kTraceSizeLimit) close_trace();
}

void close_trace() {
    if (trace != nullptr) std::fclose(trace);
    trace = nullptr;
}

}  // namespace vx

extern "C" {

int openTrace(void) {
    vx::close_trace();
    trace = std::fopen(tracename, "w");
    if (trace == nullptr) {
        std::fprintf(stderr, "unable to open trace file %s\n", tracename);
        return 1;
    }
    std::fputs(vx::platform::local_time_text().c_str(), trace);
    return 1;
}

void VX_manage_trace(MemoryHeader* header) {
    const vx::BlockView block = vx::block_for(header);
    if (trace == nullptr || traceon == nullptr || !block || !vx::cur(*traceon)) return;
    if (resettrace != nullptr && vx::cur(*resettrace)) {
        first_line = true;
        vx::set_cur(*resettrace, false);
        openTrace();
        if (trace == nullptr) return;
    }
    if (first_line) {
        first_line = false;
        const long double period = simuperiod != nullptr ? vx::cur(*simuperiod) : 0.0f;
        std::fprintf(trace, "%ld\n", static_cast<long>(vx::truncate_clamped(period, LONG_MIN, LONG_MAX)));
    }
    const long cycle = cycle_number();
    trace_list<BoolCell>(block, header->traceBool, cycle);
    trace_list<IntCell>(block, header->traceInt, cycle);
    trace_list<FloatCell>(block, header->traceFloat, cycle);
    trace_list<CharCell>(block, header->traceChar, cycle);
}

}  // extern "C"
