/*
 * A small plant written by hand the way generated glue and behaviour code
 * would declare it: a conveyor belt and a lift (actors), crates that ride
 * the belt and a pallet that rides the lift (products). The controller
 * itself only raises the lift while its input is set.
 *
 * Each product binds its variables from `self` at every call, counts its
 * calls in its own cells and, at its first call of a step, does what a test
 * asked of it in its action cell. Every call is also logged in process
 * memory, for the tests that check the order of the calls.
 */
#include <stddef.h>

#include "plant.h"
#include "vx_products.h"

PlantCall plant_calls[PLANT_MAX_CALLS];
int32_t plant_call_count = 0;

static BoolCell *lift_up;

static const char task_name[] = "testplant.exe";

/* ---- Behaviours ------------------------------------------------------------ */

typedef struct ObjectVariables {
    BoolCell *touching;
    IntCell *status, *firsts, *contacts, *lasts, *action, *argument;
} ObjectVariables;

static int32_t belt(void) { return 0; } /* the actors' models: the step never runs them */
static int32_t lift(void) { return 0; }
static int32_t crate(void);
static int32_t pallet(void);

static ObjectVariables bind_variables(void) {
    ObjectVariables v;
    v.touching = self.boolCells++;
    v.status = self.intCells++;
    v.firsts = self.intCells++;
    v.contacts = self.intCells++;
    v.lasts = self.intCells++;
    v.action = self.intCells++;
    v.argument = self.intCells++;
    return v;
}

static void count(IntCell *cell) { vx_int_set_cur(cell, vx_int_cur(cell) + 1); }

static void log_call(void) {
    if (plant_call_count >= PLANT_MAX_CALLS) return;
    plant_calls[plant_call_count].myself = myself;
    plant_calls[plant_call_count].other = otherModel == 0 ? -1 : otherModel == 1 ? -2 : other;
    ++plant_call_count;
}

static void do_actions(ObjectVariables v) {
    const int32_t action = vx_int_cur(v.action);
    if (action & PLANT_KILL_MYSELF) prodKill(myself);
    if (action & PLANT_KILL_ARGUMENT) prodKill(vx_int_cur(v.argument));
    if (action & PLANT_CREATE_CRATE) prodNew(crate, 5.0, 0.5, 1.0, 1.0, 1.0, 1.0);
    if (action & PLANT_ASK_AXIS_9) {
        Matrix unit;
        setUnity(&unit);
        findProjection(0.0, 1.0, unit, NULL, NULL, 9);
    }
    vx_int_set_cur(v.action, 0);
}

/* Counts the call; 1 when another object is offered. */
static int take_call(ObjectVariables v) {
    log_call();
    if (otherModel == 0) {
        count(v.firsts);
        vx_bool_set_cur(v.touching, 0);
        do_actions(v);
        return 0;
    }
    if (otherModel == 1) {
        count(v.lasts);
        return 0;
    }
    count(v.contacts);
    vx_bool_set_cur(v.touching, 1);
    return 1;
}

static int32_t crate(void) {
    const ObjectVariables v = bind_variables();
    if (take_call(v)) {
        /* Carried along the belt while it touches it. */
        if (otherModel == prodGetModel(PLANT_CONVEYOR)) moveRelativeAnotherXBy(myself, other, 0.25);
    } else if (otherModel == 1 && !isMyCenterIncludedInXYOfOther(myself, PLANT_CONVEYOR)) {
        prodKill(myself); /* past the end of the belt: it falls off */
    }
    return 0;
}

static int32_t pallet(void) {
    const ObjectVariables v = bind_variables();
    if (take_call(v) && other == PLANT_LIFT) {
        /* Follows the lift's motion since the last cycle. */
        joint2Object(myself, other, getCenterX(other), getCenterY(other), getCenterZ(other));
    }
    return 0;
}

/* ---- The table ---------------------------------------------------------------- */

#define PLANT_INTS(i) (PLANT_FIRST_INT + (i) * PLANT_INTS_PER_OBJECT)
#define PLANT_FLOATS(i) (17 + (i) * 16)

ActeurProduit TableActeursProduits[PLANT_OBJECTS] = {
    {.startBool = 5, .startInt = PLANT_INTS(0), .startFloat = PLANT_FLOATS(0), .startChar = 53, .model = belt,
     .initialStatus = VX_OBJECT_ALIVE, .actorId = PLANT_CONVEYOR_ID},
    {.startBool = 6, .startInt = PLANT_INTS(1), .startFloat = PLANT_FLOATS(1), .startChar = 54, .model = lift,
     .initialStatus = VX_OBJECT_ALIVE, .actorId = PLANT_LIFT_ID},
    {.startBool = 7, .startInt = PLANT_INTS(2), .startFloat = PLANT_FLOATS(2), .startChar = 55, .model = crate,
     .initialStatus = VX_OBJECT_ALIVE},
    {.startBool = 8, .startInt = PLANT_INTS(3), .startFloat = PLANT_FLOATS(3), .startChar = 56, .model = crate,
     .initialStatus = VX_OBJECT_ALIVE},
    {.startBool = 9, .startInt = PLANT_INTS(4), .startFloat = PLANT_FLOATS(4), .startChar = 57, .model = crate,
     .initialStatus = VX_OBJECT_KILLED},
    {.startBool = 10, .startInt = PLANT_INTS(5), .startFloat = PLANT_FLOATS(5), .startChar = 58, .model = crate,
     .initialStatus = VX_OBJECT_KILLED},
    {.startBool = 11, .startInt = PLANT_INTS(6), .startFloat = PLANT_FLOATS(6), .startChar = 59, .model = pallet,
     .initialStatus = VX_OBJECT_ALIVE},
};
int32_t NbActeurs = 2;
int32_t NbProduits = 5;
int32_t NbActeursEtProduits = PLANT_OBJECTS;

/* ---- The controller's entry points ------------------------------------------ */

void memorySizeInit(VX_Sizes *lowest, VX_Sizes *upper, VX_Sizes *counts) {
    const VX_Sizes cells = {PLANT_BOOL_CELLS, PLANT_INT_CELLS, PLANT_FLOAT_CELLS, PLANT_CHAR_CELLS};
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
    self.boolCells += PLANT_OBJECTS; /* the objects' own cells come first */
    lift_up = self.boolCells++;
}

int32_t behaviorsInit(void) {
    inputOutputVariablesInit();
    return 0;
}

int32_t behaviorsStep(void) {
    inputOutputVariablesInit();
    if (vx_bool_cur(lift_up)) {
        setMyselfFor(PLANT_LIFT_ID);
        moveZBy(myself, 0.5);
    }
    return 0;
}

/* The plant's layout, placed once the table is bound. */
void globalesInit(void) {
    resizeTo(PLANT_CONVEYOR, 10.0, 2.0, 1.0);
    moveTo(PLANT_LIFT, 20.0, 0.0, 0.0);
    resizeTo(PLANT_LIFT, 2.0, 2.0, 1.0);
    moveTo(PLANT_CRATE, 1.0, 0.5, 1.0);
    moveTo(PLANT_CRATE + 1, 1.5, 0.5, 1.0);
    moveTo(PLANT_PALLET, 20.0, 0.0, 1.0);
    resizeTo(PLANT_PALLET, 2.0, 2.0, 0.2);
}

void variablesInitialization(void) {
    int32_t i = 0;
    VX_Float_Init(memHeader, 10, 50000.0f);
    VX_Char_Init(memHeader, 1, VX_TASKNAME_CAPACITY);
    for (; task_name[i] != '\0'; ++i) VX_Char_Init(memHeader, 3 + i, (uint8_t)task_name[i]);
    VX_Char_Init(memHeader, 3 + i, 0);
    VX_Bool_Init(memHeader, 3, 1);
    VX_Bool_Init(memHeader, 4, 1);
}

void controlVariablesAccessInitialization(void) {
    BoolCell **const bools[] = {&traceon, &resettrace, &vx_delay, &allowpreconditions, &allowpostconditions};
    IntCell **const ints[] = {&execstatus, &bpnoline, &bpnoinstance, &bpcurrentinstance, &bpcurrentlocation,
                              &bpcurrentprepostcode, &bpcurrenttypeerror, &bpcurrentrank, &signature,
                              &generationtime};
    static const int32_t int_cells[] = {311, 312, 414, 516, 517, 518, 519, 520, 521, 522};
    FloatCell **const floats[] = {&simuperiod, &minsimuperiod, &maxsimuperiod, &realsimuperiod,
                                  &mxmeanvariablemodification, &mxminvariablemodification,
                                  &mxmaxvariablemodification};
    size_t k;
    for (k = 0; k < sizeof bools / sizeof bools[0]; ++k) *bools[k] = mem.boolCells + k;
    for (k = 0; k < sizeof ints / sizeof ints[0]; ++k) *ints[k] = mem.intCells + int_cells[k];
    for (k = 0; k < sizeof floats / sizeof floats[0]; ++k) *floats[k] = mem.floatCells + 10 + k;
    taskname = mem.charCells;
}

void timeCycleInitialization(float *period) { *period = 50000.0f; }

void initStartingMode(int32_t *status) { *status = STOP; }

int32_t getSignature(void) { return PLANT_SIGNATURE; }

int32_t getGenerationTime(void) { return 1418381562; }
