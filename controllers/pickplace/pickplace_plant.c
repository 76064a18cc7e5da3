/*
 * The pick-and-place cell's plant: the infeed, the pallet, the arm's three
 * parts and the boxes.
 *
 * The products step runs every live product's behaviour once alone
 * (otherModel 0), once for every object that touches it and once more at
 * the end (otherModel 1), in table order: infeed, pallet, base, arm,
 * gripper, then the boxes. That order carries the cell: the infeed opens
 * every step (the barrier's beam and the feed's motion flag are cleared
 * there), the pallet clears its landing flag before the gripper can set it,
 * and each part of the arm moves after the part that carries it, so that a
 * held box follows the gripper in the step in which the base turned.
 *
 * Nothing moves without the drives' power (the controller's output
 * `power`): the feed, the arm, the jaws and the pallet changer all stand
 * still during an emergency stop.
 */
#include <math.h>

#include "pickplace.h"

/* The feed: boxes ride it at kFeedSpeed up to a mechanical stop at its end,
 * the pick position. */
static const double kFeedSpeed = 1.0; /* metres per second */
static const double kFeedTop = 0.2;
static const double kStop = 3.5;       /* a box's origin corner at the stop */
static const int32_t kSpacing = 1000;  /* milliseconds of running feed between two boxes */
static const double kStart[3] = {0.05, 0.25, 0.2};
static const double kBox[3] = {0.5, 0.5, 0.4};

/* The arm turns a quarter turn, clockwise from the pick position to the
 * pallet, at kTurnSpeed; the jaws take kJawTime to close or open. */
static const double kQuarter = 90.0;
static const double kTurnSpeed = 90.0; /* degrees per second */
static const double kAngleTolerance = 0.01;
static const double kJawTime = 0.25; /* seconds */

/* The pallet: two boxes a layer along its X, three layers, set down kMargin
 * from its corner; an empty pallet takes kSwapTime to come in. */
enum { kPerLayer = 2, kLayers = 3 };
static const double kMargin = 0.05;
static const double kPalletHeight = 0.15;
static const int32_t kSwapTime = 1000; /* milliseconds */
static const double kBandTolerance = 0.001;

/* Where a box is, as the plant keeps it (box.place). */
enum { kOnFeed = 1, kHeld = 2, kStacked = 3, kLoose = 4 };

static double cycle_seconds(void) { return (double)vx_float_cur(simuperiod) / 1000000.0; }

static int powered(void) { return vx_bool_cur(pickplace_power); }

static int is_model(BehaviorFunction model) { return otherModel == (intptr_t)model; }

/* The table index of the first object of a model (every part of the cell
 * is the only object of its model), or -1. */
static int32_t object_of(BehaviorFunction model) {
    for (int32_t i = 0; i < NbActeursEtProduits; ++i)
        if (TableActeursProduits[i].model == model) return i;
    return -1;
}

/* A box's own int variable, for a box other than the running one. */
static IntCell *box_int(int32_t box, int var) { return TableActeursProduits[box].cells.intCells + var; }

static int live_box(int32_t i) {
    return i >= 0 && i < NbActeursEtProduits && TableActeursProduits[i].model == box_behaviour &&
           prodGetStatus(i) == VX_OBJECT_ALIVE;
}

/* The live box stacked at place `pos` of the pallet, or -1. */
static int32_t stacked_at(int32_t pos) {
    for (int32_t i = NbActeurs; i < NbActeursEtProduits; ++i)
        if (live_box(i) && vx_int_cur(box_int(i, pickplace__box__place)) == kStacked &&
            vx_int_cur(box_int(i, pickplace__box__pos)) == pos)
            return i;
    return -1;
}

/* The heading of a placement: the angle of its local X axis about Z. */
static double heading(const Matrix *m) { return atan2(m->entry[4], m->entry[0]); }

static int all_zero(const Matrix *m) {
    for (int k = 0; k < 16; ++k)
        if (m->entry[k] != 0.0) return 0;
    return 1;
}

/* Makes `follower` move with `carrier` through joint2Object.
 *
 * joint2Object moves the follower by the carrier's displacement since the
 * last call, measured along the carrier's new axes, then turns it by the
 * carrier's turn about the point it is given. That is the carrier's own
 * motion only when the carrier turns about its origin corner; the parts of
 * this arm turn about the base's axis instead. For a carrier that turned by
 * R about Z and whose corner went from T0 (its matrix as the last call
 * recorded it, in tabOldJointedMatrix) to T1, the follower stays where it is
 * on the carrier when the turning point c solves
 *     (I - R) c = T1 - R T0 - R^2 (T1 - T0)
 * in the plane; along Z both sides are 0. Without a turn the displacement
 * alone is the motion, and any point will do. */
static int32_t follow(int32_t follower, int32_t carrier) {
    if (tabOldJointedMatrix == 0 || carrier < 0 || carrier >= NbActeursEtProduits) return -1;
    const Matrix old = tabOldJointedMatrix[carrier];
    const Matrix now = createMatrixFrom_(TableActeursProduits[carrier].cells);
    double c[3] = {now.entry[3], now.entry[7], now.entry[11]};
    if (!all_zero(&old)) {
        const double turn = heading(&now) - heading(&old);
        const double cs = cos(turn), sn = sin(turn);
        const double det = 2.0 - 2.0 * cs;
        if (det > 1e-15) {
            const double t0[2] = {old.entry[3], old.entry[7]};
            const double d[2] = {c[0] - t0[0], c[1] - t0[1]};
            const double c2 = cos(2.0 * turn), s2 = sin(2.0 * turn);
            const double rhs[2] = {c[0] - (cs * t0[0] - sn * t0[1]) - (c2 * d[0] - s2 * d[1]),
                                   c[1] - (sn * t0[0] + cs * t0[1]) - (s2 * d[0] + c2 * d[1])};
            /* (I - R)^-1 = [[1 - cos, -sin], [sin, 1 - cos]] / (2 - 2 cos) */
            c[0] = ((1.0 - cs) * rhs[0] - sn * rhs[1]) / det;
            c[1] = (sn * rhs[0] + (1.0 - cs) * rhs[1]) / det;
        }
    }
    return joint2Object(follower, carrier, c[0], c[1], c[2]);
}

/* ---- The infeed ---------------------------------------------------------- */

/* The first product: its first call opens every step. At its last call it
 * puts a new box on the running feed when none is inside it any more and
 * the spacing has passed; a new box starts on the feed, whatever its slot
 * held before. */
int32_t infeed_behaviour(void) {
    BoolCell *blocked = self.boolCells + pickplace__infeed__blocked;
    IntCell *wait = self.intCells + pickplace__infeed__wait; /* milliseconds still to wait */
    IntCell *created = self.intCells + pickplace__infeed__created;
    if (otherModel == 0) {
        vx_bool_set_cur(blocked, 0);
        vx_bool_set_cur(self.boolCells + pickplace__infeed__moving, 0);
        vx_bool_set_cur(pickplace_barrier__seen, 0);
    } else if (is_model(box_behaviour)) {
        vx_bool_set_cur(blocked, 1);
    } else if (otherModel == 1 && powered() && vx_bool_cur(pickplace_feed_on)) {
        if (vx_int_cur(wait) > 0) {
            const double left = (double)vx_int_cur(wait) - cycle_seconds() * 1000.0;
            vx_int_set_cur(wait, left > 0.0 ? (int32_t)left : 0);
        } else if (!vx_bool_cur(blocked)) {
            const int32_t box = prodNew(box_behaviour, kStart[0], kStart[1], kStart[2], kBox[0], kBox[1], kBox[2]);
            if (box >= 0) {
                vx_int_set_cur(box_int(box, pickplace__box__place), kOnFeed);
                vx_int_set_cur(box_int(box, pickplace__box__pos), -1);
                vx_int_set_cur(created, vx_int_cur(created) + 1);
                vx_int_set_cur(wait, kSpacing);
            }
        }
    }
    return 0;
}

/* ---- The pallet ---------------------------------------------------------- */

/* The pallet stands in a pit, so that every layer is set down from the
 * height at which the gripper carries the boxes. Asked to, with power, it is
 * replaced: the full pallet leaves with its boxes, and an empty one is in
 * place kSwapTime later. It starts with no pallet in place. */
int32_t pallet_behaviour(void) {
    if (otherModel != 0) return 0;
    BoolCell *ready = self.boolCells + pickplace__pallet__ready;
    BoolCell *moving = self.boolCells + pickplace__pallet__moving;
    IntCell *boxes = self.intCells + pickplace__pallet__boxes;
    IntCell *swap = self.intCells + pickplace__pallet__swap; /* milliseconds until the new pallet is in */
    vx_bool_set_cur(self.boolCells + pickplace__pallet__landed, 0);
    vx_bool_set_cur(moving, 0);
    if (!powered()) return 0;
    if (vx_int_cur(swap) > 0) {
        const double left = (double)vx_int_cur(swap) - cycle_seconds() * 1000.0;
        vx_int_set_cur(swap, left > 0.0 ? (int32_t)left : 0);
        vx_bool_set_cur(moving, 1);
        if (vx_int_cur(swap) == 0) {
            vx_bool_set_cur(ready, 1);
            vx_int_set_cur(self.intCells + pickplace__pallet__pallets,
                           vx_int_cur(self.intCells + pickplace__pallet__pallets) + 1);
        }
    } else if (vx_bool_cur(pickplace_swap_pallet) && (!vx_bool_cur(ready) || vx_int_cur(boxes) > 0)) {
        for (int32_t i = NbActeurs; i < NbActeursEtProduits; ++i)
            if (live_box(i) && vx_int_cur(box_int(i, pickplace__box__place)) == kStacked) prodKill(i);
        vx_int_set_cur(boxes, 0);
        vx_int_set_cur(self.intCells + pickplace__pallet__layers, 0);
        vx_bool_set_cur(ready, 0);
        vx_bool_set_cur(moving, 1);
        vx_int_set_cur(swap, kSwapTime);
    }
    return 0;
}

/* Sets a released box down on the pallet, at the next place of the stack:
 * squared to the pallet (the turn left it a rounding off a quarter turn),
 * moved to its place along the pallet's axes, then made flush with its
 * neighbour in the layer and with the box under it, where they are still
 * there. A box released anywhere else, or onto a pallet that is not ready
 * or is full, falls to the floor. */
static void set_down(int32_t box) {
    const int32_t pallet = object_of(pallet_behaviour);
    IntCell *boxes = pickplace_pallet__boxes;
    const int32_t n = vx_int_cur(boxes);
    if (!isMyCenterIncludedInXYOfOther(box, pallet) || !vx_bool_cur(pickplace_pallet__ready) ||
        n >= kPerLayer * kLayers) {
        moveZTo(box, 0.0);
        vx_int_set_cur(box_int(box, pickplace__box__place), kLoose);
        return;
    }
    const int32_t slot = n % kPerLayer, layer = n / kPerLayer;
    const double off = getAngleZ(box) - getAngleZ(pallet);
    rotateCenterZBy(box, -(off - kQuarter * floor(off / kQuarter + 0.5)));
    const double target[3] = {kMargin + (slot + 0.5) * kBox[0], getDY(pallet) / 2.0,
                              kPalletHeight + (layer + 0.5) * kBox[2]};
    moveRelativeAnotherBy(box, pallet, target[0] - getCenterXInAnother(box, pallet),
                          target[1] - getCenterYInAnother(box, pallet), target[2] - getCenterZInAnother(box, pallet));
    const int32_t beside = slot > 0 ? stacked_at(n - 1) : -1;
    const int32_t under = layer > 0 ? stacked_at(n - kPerLayer) : -1;
    if (beside >= 0) alignTwoObjectsRelativeThirdX(box, beside, pallet);
    if (under >= 0) alignTwoObjectsRelativeThirdZ(box, under, pallet);
    vx_int_set_cur(box_int(box, pickplace__box__place), kStacked);
    vx_int_set_cur(box_int(box, pickplace__box__pos), n);
    vx_int_set_cur(boxes, n + 1);
    vx_int_set_cur(pickplace_pallet__layers, (n + kPerLayer) / kPerLayer);
    vx_bool_set_cur(pickplace_pallet__landed, 1);
}

/* ---- The arm --------------------------------------------------------------- */

/* How far the arm has turned from the pick position toward the pallet, in
 * degrees: the base turns clockwise, so its angle about Z goes from 0 down
 * through 360. */
static double turned(int32_t base) {
    const double a = getAngleZ(base);
    return a > 180.0 ? 360.0 - a : -a;
}

/* The base turns about its own centre, the arm's axis, while one of the two
 * turn outputs is set (not both), up to the end positions. */
int32_t base_behaviour(void) {
    if (otherModel != 0) return 0;
    double angle = turned(myself);
    double turn = 0.0;
    const int place = vx_bool_cur(pickplace_turn_place), pick = vx_bool_cur(pickplace_turn_pick);
    const double most = kTurnSpeed * cycle_seconds();
    if (powered() && place && !pick && angle < kQuarter - kAngleTolerance)
        turn = fmin(most, kQuarter - angle);
    else if (powered() && pick && !place && angle > kAngleTolerance)
        turn = -fmin(most, angle);
    if (turn != 0.0) {
        rotateCenterZBy(myself, -turn);
        angle = turned(myself);
    }
    vx_bool_set_cur(self.boolCells + pickplace__base__turning, turn != 0.0);
    vx_bool_set_cur(self.boolCells + pickplace__base__at_pick, fabs(angle) <= kAngleTolerance);
    vx_bool_set_cur(self.boolCells + pickplace__base__at_place, fabs(angle - kQuarter) <= kAngleTolerance);
    vx_float_set_cur(self.floatCells + pickplace__base__angle, (float)angle);
    return 0;
}

/* The arm is carried by the base. */
int32_t arm_behaviour(void) {
    if (otherModel == 0) follow(myself, object_of(base_behaviour));
    return 0;
}

/* The gripper is carried by the arm. Its jaws move while one valve is
 * open; a box whose centre lies between them when they close is held, and
 * it is let go as soon as they start to open. A held box that is killed
 * (the simulator took it) leaves the jaws closed on nothing. */
int32_t gripper_behaviour(void) {
    BoolCell *holding = self.boolCells + pickplace__gripper__holding;
    BoolCell *moving = self.boolCells + pickplace__gripper__moving;
    IntCell *held = self.intCells + pickplace__gripper__held;
    IntCell *reach = self.intCells + pickplace__gripper__reach;
    FloatCell *jaw = self.floatCells + pickplace__gripper__jaw; /* 0 open, 1 closed */
    if (otherModel == 0) {
        follow(myself, object_of(arm_behaviour));
        vx_int_set_cur(reach, -1);
        const int32_t box = vx_int_cur(held);
        if (vx_bool_cur(holding) && !(live_box(box) && vx_int_cur(box_int(box, pickplace__box__place)) == kHeld)) {
            vx_bool_set_cur(holding, 0);
            vx_int_set_cur(held, -1);
        }
        double j = (double)vx_float_cur(jaw);
        const double was = j;
        const int close = vx_bool_cur(pickplace_grip_close), open = vx_bool_cur(pickplace_grip_open);
        if (powered() && close && !open) j = fmin(1.0, j + cycle_seconds() / kJawTime);
        if (powered() && open && !close) j = fmax(0.0, j - cycle_seconds() / kJawTime);
        vx_float_set_cur(jaw, (float)j);
        vx_bool_set_cur(moving, j != was);
        if (vx_bool_cur(holding) && j < 1.0) {
            vx_bool_set_cur(holding, 0);
            vx_int_set_cur(held, -1);
            set_down(box);
        }
        vx_bool_set_cur(self.boolCells + pickplace__gripper__open, j <= 0.0);
        vx_bool_set_cur(self.boolCells + pickplace__gripper__closed, j >= 1.0);
    } else if (is_model(box_behaviour)) {
        /* A box on the feed with its centre inside the gripper is in reach. */
        const double x = getCenterXInAnother(other, myself), y = getCenterYInAnother(other, myself),
                     z = getCenterZInAnother(other, myself);
        if (vx_int_cur(box_int(other, pickplace__box__place)) == kOnFeed && x >= 0.0 && x <= getDX(myself) &&
            y >= 0.0 && y <= getDY(myself) && z >= 0.0 && z <= getDZ(myself))
            vx_int_set_cur(reach, other);
    } else if (otherModel == 1) {
        /* The jaws closed in this step on a box in reach: it is held from
         * now on, and the gripper's joint record starts from here, not from
         * where the gripper was when it last held a box. */
        const int32_t box = vx_int_cur(reach);
        if (!vx_bool_cur(holding) && vx_bool_cur(moving) && vx_float_cur(jaw) >= 1.0f && live_box(box)) {
            vx_bool_set_cur(holding, 1);
            vx_int_set_cur(held, box);
            vx_int_set_cur(box_int(box, pickplace__box__place), kHeld);
            tabOldJointedMatrix[myself] = createMatrixFrom_(TableActeursProduits[myself].cells);
        }
    }
    return 0;
}

/* ---- The boxes ------------------------------------------------------------- */

/* A box rides the running feed up to the stop, darkens the barrier while it
 * is in its beam, follows the gripper while held, and at the end of every
 * step checks that it lies where the plant keeps it: on the feed, between
 * the jaws, or on the pallet within its layer's height band. One that does
 * not has fallen (place 4). Two boxes touching on the feed is a fault of the
 * line: the infeed counts it. */
int32_t box_behaviour(void) {
    IntCell *place = self.intCells + pickplace__box__place;
    const int32_t gripper = object_of(gripper_behaviour);
    if (otherModel == 0) {
        if (vx_int_cur(place) == kHeld && vx_int_cur(pickplace_gripper__held) == myself) {
            follow(myself, gripper);
        } else if (vx_int_cur(place) == kOnFeed && powered() && vx_bool_cur(pickplace_feed_on)) {
            const double step = fmin(kFeedSpeed * cycle_seconds(), kStop - getPositionX(myself));
            if (step > 0.0) {
                moveXBy(myself, step);
                vx_bool_set_cur(pickplace_infeed__moving, 1);
            }
        }
    } else if (is_model(pickplace__barrier__model)) {
        vx_bool_set_cur(pickplace_barrier__seen, 1);
    } else if (is_model(box_behaviour)) {
        if (vx_int_cur(place) == kOnFeed && vx_int_cur(box_int(other, pickplace__box__place)) == kOnFeed)
            vx_int_set_cur(pickplace_infeed__overlaps, vx_int_cur(pickplace_infeed__overlaps) + 1);
    } else if (otherModel == 1) {
        const int32_t pallet = object_of(pallet_behaviour);
        int lies = 0;
        switch (vx_int_cur(place)) {
            case kOnFeed:
                lies = isMyCenterIncludedInXYOfOther(myself, object_of(pickplace__feed__model)) &&
                       fabs(getPositionZ(myself) - kFeedTop) <= kBandTolerance;
                break;
            case kHeld:
                lies = vx_int_cur(pickplace_gripper__held) == myself;
                /* Where the box lies in the gripper, for the checks. */
                vx_float_set_cur(pickplace_gripper__hx, (float)getCenterXInAnother(myself, gripper));
                vx_float_set_cur(pickplace_gripper__hy, (float)getCenterYInAnother(myself, gripper));
                vx_float_set_cur(pickplace_gripper__hz, (float)getCenterZInAnother(myself, gripper));
                break;
            case kStacked: {
                /* The height of its bottom above its layer's floor. */
                const double band = getPositionZInAnother(myself, pallet) - kPalletHeight -
                                    (double)(vx_int_cur(self.intCells + pickplace__box__pos) / kPerLayer) * kBox[2];
                vx_float_set_cur(self.floatCells + pickplace__box__band, (float)band);
                lies = isMyCenterIncludedInXYOfOther(myself, pallet) && fabs(band) <= kBandTolerance;
                break;
            }
            default: break;
        }
        if (!lies) vx_int_set_cur(place, kLoose);
    }
    return 0;
}
