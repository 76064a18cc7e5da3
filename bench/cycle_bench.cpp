// The executive's per-cycle debug work against the least that the same work
// can cost: the status report, the trace of four full lists (1000 cells
// each) with its writes, the watch list of 1000 bool cells and the snapshot,
// beside a bare walk over the same lists that compares, writes and copies
// without any checks. Warm: one cycle after another. Cold: the caches are
// flushed before every cycle, as when the controller's own work has evicted
// the block between two debug steps.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "vx/runtime.hpp"
#include "vx_runtime.h"

namespace {

constexpr std::int32_t kCells = 2003;  // a prime: stride 997 visits 1000 distinct cells
constexpr std::int32_t kChangedPerCycle = 16;

struct Block {
    std::unique_ptr<std::byte[]> memory;
    MemoryHeader* header = nullptr;
    vx::Layout layout;

    Block() {
        layout = *vx::Layout::from_counts({kCells, kCells, kCells, kCells});
        memory = std::make_unique<std::byte[]>(layout.space);
        std::memset(memory.get(), 0, layout.space);
        header = reinterpret_cast<MemoryHeader*>(memory.get());
        vx::install_block(header, layout);
        const vx::BlockView& block = vx::executive_block();
        traceon = block.cell<BoolCell>(0);
        resettrace = block.cell<BoolCell>(1);
        execstatus = block.cell<IntCell>(311);
        simuperiod = block.cell<FloatCell>(10);
        posmxsimucounter = kCells - 2;
        vx::set_cur(*traceon, true);
        vx::set_cur(*execstatus, RUN);
        for (IndexList* list : {&header->traceBool, &header->traceInt, &header->traceFloat, &header->traceChar,
                                &header->watchBool}) {
            for (int k = 0; k < VX_INDEX_LIST_LENGTH; ++k) list->entry[k] = 2 + (k * 997) % (kCells - 3);
        }
        std::strncpy(tracename, "/dev/null", VX_FILE_NAME_CAPACITY - 1);
        openTrace();
    }
    ~Block() { vx::uninstall_block(); }

    // What the controller and the simulator do between two debug steps: a
    // few listed cells change.
    void change(std::int32_t cycle) const {
        const vx::BlockView& block = vx::executive_block();
        for (std::int32_t k = 0; k < kChangedPerCycle; ++k) {
            const std::int32_t index = header->traceInt.entry[(cycle * 31 + k * 61) % VX_INDEX_LIST_LENGTH];
            auto* cell = block.cell<IntCell>(index);
            vx::set_cur(*cell, vx::cur(*cell) + 1);
            auto* flag = block.cell<BoolCell>(header->traceBool.entry[(cycle * 17 + k * 67) % VX_INDEX_LIST_LENGTH]);
            vx::set_cur(*flag, !vx::cur(*flag));
        }
        // A watched change stops the program; keep it running, unreported.
        vx::set_start_value(*execstatus, RUN);
    }
};

// The same lists walked as plainly as they can be: raw pointers, no checks.
template <class Cell, class Value> void bare_list(std::byte* base, std::uint32_t offset, const IndexList& list,
                                                  char letter, Value Cell::*cur, Value Cell::*prev) {
    auto* cells = reinterpret_cast<Cell*>(base + offset);
    for (int k = 0; k < VX_INDEX_LIST_LENGTH && list.entry[k] != 0; ++k) {
        Cell& c = cells[list.entry[k]];
        if (!(c.*cur == c.*prev)) std::fprintf(trace, "0 %c%d %g:%g\n", letter, list.entry[k], double(c.*prev), double(c.*cur));
        c.*prev = c.*cur;
    }
}

void bare_bool_list(std::byte* base, std::uint32_t offset, const IndexList& list, bool trace_changes) {
    auto* cells = reinterpret_cast<BoolCell*>(base + offset);
    for (int k = 0; k < VX_INDEX_LIST_LENGTH && list.entry[k] != 0; ++k) {
        BoolCell& c = cells[list.entry[k]];
        const int now = c.bits & 1, before = (c.bits >> 1) & 1;
        if (now != before && trace_changes) std::fprintf(trace, "0 B%d %d:%d\n", list.entry[k], before, now);
        c.bits = static_cast<std::uint8_t>((c.bits & ~2) | (now << 1));
    }
}

void bare_walk(const Block& b) {
    auto* base = reinterpret_cast<std::byte*>(b.header);
    const auto& off = b.layout.offset;
    bare_bool_list(base, off[0], b.header->traceBool, true);
    bare_list(base, off[1], b.header->traceInt, 'I', &IntCell::cur, &IntCell::prev);
    bare_list(base, off[2], b.header->traceFloat, 'F', &FloatCell::cur, &FloatCell::prev);
    bare_list(base, off[3], b.header->traceChar, 'C', &CharCell::cur, &CharCell::prev);
    bare_bool_list(base, off[0], b.header->watchBool, false);
}

void debug_step(const Block& b) {
    VX_manage_exec_status(execstatus);
    VX_manage_debug_informations(b.header);
}

// Evicts the block from every cache level by walking a buffer larger than
// the last level.
void flush_caches() {
    static std::vector<char> sweep(64u << 20);
    for (std::size_t k = 0; k < sweep.size(); k += 64) sweep[k] = static_cast<char>(sweep[k] + 1);
    benchmark::ClobberMemory();
}

// One block for every benchmark: the runtime works on the one block it has
// installed.
const Block& shared_block() {
    static const Block block;
    return block;
}

template <void (*Work)(const Block&), bool Cold> void run(benchmark::State& state) {
    const Block& block = shared_block();
    std::int32_t cycle = 0;
    for (auto _ : state) {
        state.PauseTiming();
        block.change(++cycle);
        if (Cold) flush_caches();
        state.ResumeTiming();
        Work(block);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(run<debug_step, false>)->Name("warm/debug_step");
BENCHMARK(run<bare_walk, false>)->Name("warm/bare_walk");
BENCHMARK(run<debug_step, true>)->Name("cold/debug_step")->Iterations(2000);
BENCHMARK(run<bare_walk, true>)->Name("cold/bare_walk")->Iterations(2000);

}  // namespace
