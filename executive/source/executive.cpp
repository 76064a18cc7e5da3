// The cycle executive: start-up, the fixed-period cycle loop and shutdown.
//
// The program runs one controller cyclically at a fixed period against the
// plant simulator. The simulator and the debugger steer it through the
// status cell, which the loop samples at its head, every 10 ms while the
// program is stopped, and before and after every cycle. The schedule
// advances by exactly one period per cycle, so a program that fell behind
// runs its next cycles without sleeping until it has caught up.
#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "vx/control_cells.hpp"
#include "vx/executive.hpp"
#include "vx/lockstep.hpp"
#include "vx/platform/system.hpp"
#include "vx/runtime.hpp"
#include "vx/schedule.hpp"
#include "vx/numbers.hpp"
#include "vx/trace.hpp"

namespace vx {
namespace {

constexpr std::uint32_t kStopPollMicroseconds = 10000;

CycleStatistics g_statistics;
PlantHooks g_plant;

// A cell of the program's block that the executive itself writes; indexes
// come from the controller's declared bounds and are checked like any other.
IntCell* runtime_int_cell(std::int32_t index) { return executive_block().cell<IntCell>(index); }

void publish(IntCell* cell, std::int32_t value) {
    if (cell != nullptr) set_cur(*cell, value);
}

std::int32_t status() { return cur(*execstatus); }
// An ending signal (Ctrl-C, a service manager, a closed terminal) ends the
// program as END does. The flag is looked at wherever the status is sampled,
// and wins over whatever another process writes into the status meanwhile.
bool ending() { return status() == END || platform::ending_signalled(); }
void set_status(std::int32_t value) { set_cur(*execstatus, value); }

void copy_name(char (&target)[VX_FILE_NAME_CAPACITY], const std::string& name) {
    // A name that does not fit is left empty: opening it then fails with the
    // usual message instead of touching another file.
    target[0] = '\0';
    if (name.size() < VX_FILE_NAME_CAPACITY) std::memcpy(target, name.c_str(), name.size() + 1);
}

[[noreturn]] void shutdown() {
    VX_manage_exec_status(execstatus);
    publish(runtime_int_cell(pospid), 0);
    lockstep_finish();
    close_trace();
    closeMemory(memHeader);
    std::fflush(stdout);
    std::exit(0);
}

[[noreturn]] void end_program() {
    set_status(FREE);
    publish(signature, 0);
    shutdown();
}

// The declared lower and upper bounds, and the runtime's cells at the top of
// the int area.
void take_bounds() {
    minBool = std::max(minSize.boolCells, 0);
    minInt = minSize.intCells < VX_INT_FLOOR ? VX_INT_FLOOR : minSize.intCells;
    minFloat = minSize.floatCells < VX_FLOAT_FLOOR ? VX_FLOAT_FLOOR : minSize.floatCells;
    minChar = std::max(minSize.charCells, 0);
    maxBool = maxSize.boolCells;
    maxInt = maxSize.intCells;
    maxFloat = maxSize.floatCells;
    maxChar = maxSize.charCells;
    pospid = maxInt - 3;
    posmxsimucounter = maxInt - 2;
    posmxmicrostepcounter = maxInt - 1;
    std::printf("minBool=%d min.Int=%d min.Float=%d min.Char=%d max.Bool=%d max.Int=%d max.Float=%d max.Char=%d\n",
                minBool, minInt, minFloat, minChar, maxBool, maxInt, maxFloat, maxChar);
    std::printf("memBool=%ld mennt=%ld memFloat=%ld memChar=%ld\n", static_cast<long>(memSize.boolCells),
                static_cast<long>(memSize.intCells), static_cast<long>(memSize.floatCells),
                static_cast<long>(memSize.charCells));
}

// The control cells and the runtime's cells at the top of the int area must
// lie inside the areas that the controller declared.
bool control_cells_fit() {
    const BlockView& block = executive_block();
    for (const CellType type : {CellType::Bool, CellType::Int, CellType::Float, CellType::Char}) {
        if (!block.contains(type, cells::kEnd[static_cast<std::size_t>(type)] - 1)) return false;
    }
    return block.contains(CellType::Int, maxInt - 3) && block.contains(CellType::Int, maxInt - 1);
}

// VX_SCHEDULE and VX_REALTIME. Neither can stop the program: a value that
// cannot be had is said on standard output and the program runs as usual.
void choose_schedule() {
    const auto requested = platform::environment("VX_SCHEDULE");
    const auto mode = parse_schedule_mode(requested);
    if (!mode) std::printf("VX_SCHEDULE=%s is not a schedule (precise, lockstep or default); using the default\n", requested->c_str());
    select_schedule(mode.value_or(ScheduleMode::Millisecond));
    if (platform::environment("VX_REALTIME") != "1") return;
    std::string why;
    if (!platform::request_realtime(why)) std::printf("VX_REALTIME: %s; running without it\n", why.c_str());
}

void start_up(const char* program_path, const PlantHooks& plant, std::int32_t& timeout) {
    platform::install_ending_signals();
    platform::minimise_timer_slack();
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // reports reach a pipe line by line
    choose_schedule();
    timeout = timeout_waits(platform::environment("VX_TIMEOUT"));
    std::setlocale(LC_ALL, "C");
    const FileNames names = derive_file_names(program_path != nullptr ? program_path : "");
    copy_name(tracename, names.trace);
    copy_name(paramfilename, names.parameters);
    openTrace();

    memorySizeInit(&minSize, &maxSize, &memSize);
    memHeader = openMemory();
    if (memHeader == nullptr) std::exit(-1);
    if (!start_controller(memHeader, opened_block_size(), plant)) {
        closeMemory(memHeader);
        std::exit(1);
    }
    lockstep_start(opened_block_name());
    VXD_init_time();
}

// Waits in STOP, polling every 10 ms, until another process changes the
// status or the VX_TIMEOUT limit turns it into END.
void wait_in_stop(std::int32_t timeout) {
    std::int32_t waits = 0;
    do {
        publish(signature, getSignature());
        VX_manage_exec_status(execstatus);
        flush_trace();
        lockstep_stop_poll(kStopPollMicroseconds);  // VXD_wait, unless in lockstep
        if (timeout != 0 && ++waits >= timeout) set_status(END);  // waits never passes timeout
    } while (status() == STOP && !platform::ending_signalled());
}

void run_cycle() {
    publish(bpcurrentinstance, 0);
    publish(bpcurrentlocation, 0);
    publish(bpcurrentprepostcode, 0);
    publish(bpcurrenttypeerror, 0);
    LIBFB_ERR = 0;
    VX_manage_exec_status(execstatus);
    VX_manage_debug_informations(memHeader);

    const std::int32_t result = evolve_once();
    if (result != 0) set_status(STOP);
    publish(bpcurrentinstance, result);
    if (g_plant.step != nullptr) g_plant.step();

    const long double now = schedule_now();
    const std::uint32_t duration = now > timeNow ? to_u32_clamped(now - timeNow) : 0;
    // The next start is one period after this one. A period that is not a
    // number (another process can write anything into it) would poison the
    // schedule for good; the schedule then restarts from now instead.
    const double next = timeNow + static_cast<double>(cur(*simuperiod));
    timeNow = std::isfinite(next) ? next : static_cast<double>(now);

    IntCell* counter = runtime_int_cell(posmxsimucounter);
    const std::int32_t cycle = counter != nullptr ? cur(*counter) : 0;
    g_statistics.record(duration, cycle, nbStateModification);
    if (const std::int32_t now_status = status(); now_status == STEP || now_status == PAUSE) set_status(STOP);
    publish(counter, next_cycle(cycle));
    // In lockstep the simulator is the clock: hand back instead of sleeping.
    if (lockstep_selected()) return lockstep_hand_back();

    const std::uint32_t period = to_u32_clamped(cur(*simuperiod));
    if (period > duration) {
        // Sleep until the next scheduled start rather than for period -
        // duration: a cycle that starts ahead of its slot (the millisecond
        // clock cannot see a fraction of a period) counts its duration as 0,
        // and the truncated fraction would then be lost on every cycle, so
        // that a fractional period ran fast for good.
        sleep_until_start(timeNow, now);
    } else {
        std::printf("Warning: Cycle duration (%d ms) higher than cycle (%d ms) in step %d\n",
                    static_cast<int>(duration / 1000u), static_cast<int>(period / 1000u), cycle);
    }
}

}  // namespace

bool start_controller(MemoryHeader* header, std::size_t block_size, const PlantHooks& plant) {
    memHeader = header;
    g_plant = plant;
    if (!lay_out_block(header, block_size, memSize)) return false;
    initPointersValues(header, &mem);
    take_bounds();
    if (!control_cells_fit()) {
        std::fprintf(stderr, "the controller declares too few cells for the runtime's control variables\n");
        return false;
    }
    controlVariablesAccessInitialization();

    set_cur(*traceon, false);
    publish(runtime_int_cell(posmxsimucounter), 0);
    publish(runtime_int_cell(pospid), platform::process_id());

    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    behaviorsInit();
    timeCycleInitialization(&simuperiod->cur);
    if (plant.start != nullptr && plant.start() != 1) return false;  // e.g. the plant does not fit the block
    globalesInit();
    variablesInitialization();
    VXD_read_parameters();
    initStartingMode(&execstatus->cur);
    VX_manage_exec_status(execstatus);
    VX_init_ios(header);
    publish(generationtime, getGenerationTime());
    return true;
}

std::int32_t evolve_once() {
    self = mem;
    self_num = 1;
    memoryStartInit(&self);
    VX_read_inputs(memHeader);
    const std::int32_t result = behaviorsStep();
    VX_write_outputs(memHeader);
    return result;
}

bool lay_out_block(MemoryHeader* header, std::size_t block_size, const VX_Sizes& counts) {
    const auto layout = Layout::from_counts({counts.boolCells, counts.intCells, counts.floatCells, counts.charCells});
    std::printf("Allocated memory : %d bytes on %d bytes\n", layout ? static_cast<int>(layout->space) : 0,
                static_cast<int>(block_size));
    if (!layout || block_size < layout->space) {
        std::printf("insufficient size of shared memory\n");
        return false;
    }
    install_block(header, *layout);
    return true;
}

[[noreturn]] void run_program(const char* program_path, const PlantHooks& plant) {
    std::int32_t timeout = 0;
    start_up(program_path, plant, timeout);
    for (;;) {
        publish(signature, getSignature());
        flush_and_limit_trace();
        if (ending()) end_program();
        if (status() == STOP) {
            wait_in_stop(timeout);
            VXD_init_time();
            if (ending()) end_program();
        } else if (!lockstep_await_grant(timeout)) {
            continue;  // stopped or ending while waiting for the simulator
        }
        lockstep_begin_cycle();
        run_cycle();
    }
}

}  // namespace vx

extern "C" {

void VXD_init_time(void) { timeNow = static_cast<double>(vx::schedule_now()); }

}  // extern "C"
