/*
 * The conveyor line's plant: how the infeed and the boxes behave.
 *
 * The products step runs every live product's behaviour once alone
 * (otherModel 0), once for every object that touches it (otherModel is that
 * object's model, other its index) and once more at the end (otherModel 1);
 * during these calls `self` holds the product's own cells and `myself` its
 * index. The belt and the barrier are actors: they never run, the boxes
 * react to them.
 */
#include "conveyor.h"

static const double kBeltSpeed = 1.0;  /* metres per second */
static const double kBeltEnd = 10.0;   /* a box beyond it leaves the line */
static const int32_t kSpacing = 1500;  /* milliseconds between two boxes at the least */

/* Where a new box starts: on the belt, inside the infeed, slightly sunk into
 * the belt so that the two are seen touching. */
static const double kStart[3] = {0.05, 0.1, 0.15};
static const double kBox[3] = {0.5, 0.8, 0.5};

static double cycle_seconds(void) { return (double)vx_float_cur(simuperiod) / 1000000.0; }

static int is_model(int32_t (*model)(void)) { return otherModel == (intptr_t)model; }

/* The infeed comes first among the products, so its first call opens every
 * step: the barrier's beam is cleared there and set again by the boxes in
 * it. At its last call it puts a new box on the running belt when no box is
 * inside it any more and the spacing has passed. */
int32_t infeed_behaviour(void) {
    BoolCell *blocked = self.boolCells + conveyor__infeed__blocked;
    IntCell *wait = self.intCells + conveyor__infeed__wait; /* milliseconds still to wait */
    IntCell *created = self.intCells + conveyor__infeed__created;
    if (otherModel == 0) {
        vx_bool_set_cur(blocked, 0);
        vx_bool_set_cur(conveyor_barrier__seen, 0);
    } else if (is_model(box_behaviour)) {
        vx_bool_set_cur(blocked, 1);
    } else if (otherModel == 1 && vx_bool_cur(conveyor_belt_on)) {
        if (vx_int_cur(wait) > 0) {
            const double left = (double)vx_int_cur(wait) - cycle_seconds() * 1000.0;
            vx_int_set_cur(wait, left > 0.0 ? (int32_t)left : 0);
        } else if (!vx_bool_cur(blocked) &&
                   prodNew(box_behaviour, kStart[0], kStart[1], kStart[2], kBox[0], kBox[1], kBox[2]) >= 0) {
            vx_int_set_cur(created, vx_int_cur(created) + 1);
            vx_int_set_cur(wait, kSpacing);
        }
    }
    return 0;
}

/* A box rides the belt while it runs, darkens the barrier while it is in
 * its beam, and leaves the line past the belt's end. Two boxes touching is
 * a fault of the line: the infeed counts it. */
int32_t box_behaviour(void) {
    if (is_model(conveyor__belt__model)) {
        if (vx_bool_cur(conveyor_belt_on)) moveXBy(myself, kBeltSpeed * cycle_seconds());
    } else if (is_model(conveyor__barrier__model)) {
        vx_bool_set_cur(conveyor_barrier__seen, 1);
    } else if (is_model(box_behaviour)) {
        vx_int_set_cur(conveyor_infeed__overlaps, vx_int_cur(conveyor_infeed__overlaps) + 1);
    } else if (otherModel == 1 && getPositionX(myself) > kBeltEnd) {
        prodKill(myself);
    }
    return 0;
}
