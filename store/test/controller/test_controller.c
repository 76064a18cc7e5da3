/*
 * A hand-written controller for the runtime's tests. It provides the entry
 * points of a generated controller and a few knobs, cells that a test writes
 * to make the evolution do what the test needs: return a result, check a
 * breakpoint, raise a report, count state modifications, take longer than
 * the period.
 *
 *   bool 5   input     in     read by the evolution
 *   bool 6   output    out    := input, every pass, posted
 *   bool 7   toggle    out    inverted every pass, posted
 *   int 523  passes           evolution passes so far
 *   int 524  result           the pass returns it once, then it is cleared
 *   int 525  bp_location      when not 0, the pass calls
 *   int 526  bp_instance        breakpoint_st(bp_location, bp_instance)
 *   int 527  report_type      when not 0, the pass calls raise_debug_break(
 *                               bp_location, 77, report_type, bp_instance)
 *   int 528  modifications    copied into nbStateModification
 *   int 529  sleep_ms         the pass sleeps this long; when negative, it
 *                               computes for that long (no signal shortens it)
 *   int 530  int_out   out    := passes, posted
 *   float 17 float_out out    := passes / 2, posted
 *   char 53  char_out  out    := 'A' + passes mod 26, posted
 *   int 531-533               process id, cycle counter, reserved
 */
#include "test_controller.h"

#include "vx_runtime.h"

static BoolCell *input, *output, *toggle;
static IntCell *passes, *result, *bp_location, *bp_instance, *report_type, *modifications, *sleep_ms, *int_out;
static FloatCell *float_out;
static CharCell *char_out;

static const char task_name[] = "testctl.exe";

void memorySizeInit(VX_Sizes *lowest, VX_Sizes *upper, VX_Sizes *counts) {
    const VX_Sizes cells = {TEST_BOOL_CELLS, TEST_INT_CELLS, TEST_FLOAT_CELLS, TEST_CHAR_CELLS};
    const VX_Sizes zero = {0, 0, 0, 0};
    *lowest = zero;
    *upper = cells;
    *counts = cells;
}

void memoryStartInit(VX_Areas *cursors) {
    cursors->boolCells += minBool + VX_FIXED_BOOL_CELLS;
    cursors->intCells += minInt + VX_FIXED_INT_CELLS;
    cursors->floatCells += minFloat + VX_FIXED_FLOAT_CELLS;
    cursors->charCells += minChar + VX_FIXED_CHAR_CELLS;
}

void inputOutputVariablesInit(void) {
    input = self.boolCells++;
    output = self.boolCells++;
    toggle = self.boolCells++;
}

static void bind_internals(void) {
    passes = self.intCells++;
    result = self.intCells++;
    bp_location = self.intCells++;
    bp_instance = self.intCells++;
    report_type = self.intCells++;
    modifications = self.intCells++;
    sleep_ms = self.intCells++;
    int_out = self.intCells++;
    float_out = self.floatCells++;
    char_out = self.charCells++;
}

int32_t behaviorsInit(void) {
    inputOutputVariablesInit();
    bind_internals();
    return 0;
}

int32_t behaviorsStep(void) {
    int32_t passed;
    int32_t returned;
    inputOutputVariablesInit();
    bind_internals();

    passed = vx_int_cur(passes);
    passed = passed == INT32_MAX ? 0 : passed + 1;
    vx_int_set_cur(passes, passed);
    vx_bool_set_cur(output, vx_bool_cur(input));
    vx_bool_set_cur(toggle, !vx_bool_cur(toggle));
    vx_int_set_cur(int_out, passed);
    vx_float_set_cur(float_out, (float)passed / 2.0f);
    vx_char_set_cur(char_out, (uint8_t)('A' + passed % 26));
    nbStateModification = vx_int_cur(modifications);

    if (vx_int_cur(sleep_ms) > 0) waitMicroSeconds((uint32_t)vx_int_cur(sleep_ms) * 1000u);
    if (vx_int_cur(sleep_ms) < 0) {
        const long double until = milliSecondsNow() - (long double)vx_int_cur(sleep_ms);
        while (milliSecondsNow() < until) {
        }
    }
    if (vx_int_cur(report_type) != 0) {
        raise_debug_break(vx_int_cur(bp_location), 77, vx_int_cur(report_type), vx_int_cur(bp_instance));
    } else if (vx_int_cur(bp_location) != 0) {
        breakpoint_st(vx_int_cur(bp_location), vx_int_cur(bp_instance));
    }

    VX_post_bool(output);
    VX_post_bool(toggle);
    VX_post_int(int_out);
    VX_post_float(float_out);
    VX_post_char(char_out);

    returned = vx_int_cur(result);
    vx_int_set_cur(result, 0);
    return returned;
}

void globalesInit(void) {}

void variablesInitialization(void) {
    int32_t i;
    VX_Float_Init(memHeader, 10, 50000.0f);
    VX_Char_Init(memHeader, 0, 0);
    VX_Char_Init(memHeader, 1, VX_TASKNAME_CAPACITY);
    for (i = 0; task_name[i] != '\0'; ++i) VX_Char_Init(memHeader, 3 + i, (uint8_t)task_name[i]);
    VX_Char_Init(memHeader, 3 + i, 0);
    VX_Bool_Init(memHeader, 3, 1);
    VX_Bool_Init(memHeader, 4, 1);
}

void controlVariablesAccessInitialization(void) {
    traceon = mem.boolCells + 0;
    resettrace = mem.boolCells + 1;
    vx_delay = mem.boolCells + 2;
    allowpreconditions = mem.boolCells + 3;
    allowpostconditions = mem.boolCells + 4;
    execstatus = mem.intCells + 311;
    bpnoline = mem.intCells + 312;
    bpnoinstance = mem.intCells + 414;
    bpcurrentinstance = mem.intCells + 516;
    bpcurrentlocation = mem.intCells + 517;
    bpcurrentprepostcode = mem.intCells + 518;
    bpcurrenttypeerror = mem.intCells + 519;
    bpcurrentrank = mem.intCells + 520;
    signature = mem.intCells + 521;
    generationtime = mem.intCells + 522;
    simuperiod = mem.floatCells + 10;
    minsimuperiod = mem.floatCells + 11;
    maxsimuperiod = mem.floatCells + 12;
    realsimuperiod = mem.floatCells + 13;
    mxmeanvariablemodification = mem.floatCells + 14;
    mxminvariablemodification = mem.floatCells + 15;
    mxmaxvariablemodification = mem.floatCells + 16;
    taskname = mem.charCells + 0;
}

void timeCycleInitialization(float *period) { *period = 50000.0f; }

void initStartingMode(int32_t *status) { *status = STOP; }

int32_t getSignature(void) { return TEST_SIGNATURE; }

int32_t getGenerationTime(void) { return TEST_GENERATION_TIME; }
