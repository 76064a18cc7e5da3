/* The cells and objects of the test plant, shared by the plant and its
 * tests. */
#ifndef VX_TEST_PLANT_H
#define VX_TEST_PLANT_H

#include <stdint.h>

enum {
    /* The objects, as the glue declares them. */
    PLANT_CONVEYOR = 0, /* actor: a belt 10 x 2 x 1, crates on it travel along its X */
    PLANT_LIFT = 1,     /* actor: raised by the controller while PLANT_LIFT_UP is set */
    PLANT_CRATE = 2,    /* products 2 to 5 are crates; 2 and 3 start alive */
    PLANT_PALLET = 6,   /* product: rides the lift, jointed to it */
    PLANT_OBJECTS = 7,
    PLANT_CONVEYOR_ID = 100,
    PLANT_LIFT_ID = 200,

    /* Every object's int cells: its status, then what its behaviour counts
     * and the actions a test asks of it. */
    PLANT_FIRST_INT = 523,
    PLANT_INTS_PER_OBJECT = 6,
    PLANT_FIRSTS = 1,   /* first calls of a step */
    PLANT_CONTACTS = 2, /* calls with another object */
    PLANT_LASTS = 3,    /* last calls of a step */
    PLANT_ACTION = 4,   /* done at the next first call, then cleared */
    PLANT_ARGUMENT = 5,

    /* Actions, bits of PLANT_ACTION. */
    PLANT_KILL_MYSELF = 1,
    PLANT_KILL_ARGUMENT = 2,
    PLANT_CREATE_CRATE = 4, /* a new crate on the belt at x = 5 */
    PLANT_ASK_AXIS_9 = 8,   /* findProjection with an axis it does not know */

    /* Bool cells: one per object (set while it touches something this
     * step), then the controller's input. */
    PLANT_FIRST_BOOL = 5,
    PLANT_LIFT_UP = 5 + PLANT_OBJECTS,

    PLANT_BOOL_CELLS = PLANT_LIFT_UP + 1,
    PLANT_INT_CELLS = PLANT_FIRST_INT + PLANT_OBJECTS * PLANT_INTS_PER_OBJECT + 4,
    PLANT_FLOAT_CELLS = 17 + PLANT_OBJECTS * 16,
    PLANT_CHAR_CELLS = 53 + PLANT_OBJECTS,
    PLANT_SIGNATURE = 2147483647,

    PLANT_MAX_CALLS = 256
};

/* Every behaviour call, for the tests that check the step's protocol:
 * other is -1 for a first call and -2 for a last call. */
typedef struct PlantCall {
    int32_t myself;
    int32_t other;
} PlantCall;

extern PlantCall plant_calls[PLANT_MAX_CALLS];
extern int32_t plant_call_count;

#endif
