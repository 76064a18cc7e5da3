/*
 * Actors and products: the 3D objects of the simulated plant, as generated
 * behaviour code sees them.
 *
 * Every object owns cells in the shared block: a status int cell (1 alive,
 * 2 killed; a killed product's record is a free slot), 16 float cells that
 * hold its placement matrix, and cells for its own variables. The generated
 * glue declares the objects in `TableActeursProduits`, actors first, then
 * products; each record names the object's first cell of every type and its
 * model, the behaviour function that the products step runs.
 *
 * An object is the unit cube [0,1]^3 of its own frame, mapped into the world
 * by its matrix M = T.R.S (position, orientation, sizes). Element (3,3) of a
 * matrix carries the cosine of the object's rotation about Y, not the
 * homogeneous 1, and the product of two matrices keeps that cosine alive
 * (see mulMatrix_with_). Angles are in degrees at the commands and queries,
 * in radians inside the toolkit.
 *
 * Plain C, so that generated code can be compiled as C; the library behind
 * it is C++ and never lets an exception cross these declarations. Every
 * object index is checked: the queries answer 0.0 (or false) and the
 * commands -1 for an index that names no live object.
 */
#ifndef VX_PRODUCTS_H
#define VX_PRODUCTS_H

#include <stdint.h>

#include "vx_runtime.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Toolkit types ------------------------------------------------------ */

/* 16 doubles, row-major: element (r, c) is entry 4r + c. Points are column
 * vectors, the translation is in entries 3, 7 and 11, entries 12-14 are 0 in
 * every matrix the toolkit builds, and entry 15 carries cos(Y). */
typedef struct Matrix {
    double entry[16];
} Matrix;

/* A point, a displacement, three sizes or three angles (X, Y, Z). */
typedef struct Vector {
    double x, y, z;
} Vector;

/* The images of local (0,0,0) and (1,1,1) under an object's matrix. */
typedef struct Parallelepiped {
    Vector c0;
    Vector c1;
} Parallelepiped;

/* An object's cells: its first bool cell, its status int cell, the first of
 * its 16 matrix float cells and its first char cell. */
typedef struct ObjectCells {
    BoolCell *boolCells;
    IntCell *intCells;
    FloatCell *floatCells;
    CharCell *charCells;
} ObjectCells;

/* ---- The table ---------------------------------------------------------- */

/* A model's behaviour: generated code, run by the products step; its result
 * is not used. Two objects have the same model when they name the same
 * function. */
typedef int32_t (*BehaviorFunction)(void);

typedef struct ActeurProduit {
    int32_t startBool;        /* index of the object's first bool cell */
    int32_t startInt;         /* its status cell */
    int32_t startFloat;       /* the first of its 16 matrix cells */
    int32_t startChar;        /* its first char cell */
    ObjectCells cells;        /* bound by produitsInit */
    int32_t reserved;         /* not read */
    BehaviorFunction model;
    int32_t initialStatus;    /* written into the status cell at start-up */
    int32_t actorId;          /* what setMyselfFor looks for among the actors */
    Parallelepiped box;       /* refreshed at the start of every products step */
} ActeurProduit;

enum {
    VX_OBJECT_ALIVE = 1,
    VX_OBJECT_KILLED = 2
};

/* Defined by the generated glue: records 0 to NbActeurs - 1 are actors, the
 * records after them up to NbActeursEtProduits - 1 are products. A program
 * whose glue declares no objects gets an empty table from this library. */
extern ActeurProduit TableActeursProduits[];
extern int32_t NbActeurs;
extern int32_t NbProduits;
extern int32_t NbActeursEtProduits;

/* Set by the library, read by behaviour code. */
extern Matrix *tabOldJointedMatrix; /* per carrier: its matrix at the last joint2Object */
extern int32_t myself;              /* the object whose behaviour runs */
extern int32_t other;               /* the object offered to it */
/* The model of `other` as a number wide enough for a function's address
 * (prodGetModel gives the same number); 0 during a product's first call of
 * a step and 1 during its last. */
extern intptr_t otherModel;
extern ObjectCells otherPointers;   /* the cells of `other` */

/* Index, or -1 when out of range or already killed. Actors can be killed. */
int32_t prodKill(int32_t index);
/* The model as a number (see otherModel), or -1 when out of range. */
intptr_t prodGetModel(int32_t index);
/* The status, or -1 when out of range. */
int32_t prodGetStatus(int32_t index);
/* myself := the first actor whose actorId is `identifier`; unchanged when
 * none is. */
void setMyselfFor(int32_t identifier);

/* ---- Matrix and vector toolkit ------------------------------------------ */

void setUnity(Matrix *m);
Matrix mTranslation(double tx, double ty, double tz);
Matrix mScale(double sx, double sy, double sz);
Matrix mRotationX(double radians);
Matrix mRotationY(double radians); /* element (3,3) = cos, not 1 */
Matrix mRotationZ(double radians);
/* Only the cur words of the 16 cells: stored as float, loaded as double. */
void saveMatrix_on_(Matrix m, ObjectCells o);
Matrix createMatrixFrom_(ObjectCells o);
void transformPoint_into_(Matrix m, Vector p, Vector *out);
/* a.b with element (3,3) combined as a cosine of Y; invSizeA and invSizeB
 * (reciprocal sizes, or 1,1,1) strip the sizes from each factor before its
 * Y angle is taken. */
Matrix mulMatrix_with_(Matrix a, Vector invSizeA, Matrix b, Vector invSizeB);
void mulMatrix_with_into_(Matrix a, Vector invSizeA, Matrix b, Vector invSizeB, Matrix *out);
/* The inverse of a with a(3,3) taken as 1, pivoting columns only where a
 * diagonal element is negligible. */
void inverseTransformation_(Matrix a, Matrix *out);
void solve_(Matrix lu, const double b[4], double x[4]);
/* Euler angles (X, Y, Z) of R = Rz.Ry.Rx, radians in (-pi/2, 3pi/2]. */
Vector rotation(Matrix m);
double arcTan(double y, double x);
void crossProduct(Vector u, Vector v, Vector *out);
void mulScalar_(Vector v, double k, Vector *out);
void addVector_(Vector u, Vector v, Vector *out);

/* ---- Geometry queries --------------------------------------------------- */

double getDXOfObject(ObjectCells o, Matrix m);
double getDYOfObject(ObjectCells o, Matrix m);
double getDZOfObject(ObjectCells o, Matrix m);
double getSizeX(int32_t i);
double getSizeY(int32_t i);
double getSizeZ(int32_t i);
double getDX(int32_t i);
double getDY(int32_t i);
double getDZ(int32_t i);
double getPositionX(int32_t i);
double getPositionY(int32_t i);
double getPositionZ(int32_t i);
double getProjectionX(int32_t i);
double getProjectionY(int32_t i);
double getProjectionZ(int32_t i);
void computeActorProductTransformedParrallelepipede_into_(ObjectCells o, Parallelepiped *out);
void getCenterOf(Parallelepiped p, Vector *out);
Vector getRotationCenterOf(ObjectCells o);
double getCenterX(int32_t i);
double getCenterY(int32_t i);
double getCenterZ(int32_t i);
/* Degrees in [0, 360). */
double getAngleX(int32_t i);
double getAngleY(int32_t i);
double getAngleZ(int32_t i);
/* p in the unscaled frame of j (i is not used); (0,0,0) when j is out of
 * range. */
Vector getPositionInAnother(int32_t i, int32_t j, Vector p);
double getPositionXInAnother(int32_t i, int32_t j);
double getPositionYInAnother(int32_t i, int32_t j);
double getPositionZInAnother(int32_t i, int32_t j);
double getCenterXInAnother(int32_t i, int32_t j);
double getCenterYInAnother(int32_t i, int32_t j);
double getCenterZInAnother(int32_t i, int32_t j);
int isMyCenterIncludedInXYOfOther(int32_t i, int32_t j);
int isMyCenterIncludedInXZOfOther(int32_t i, int32_t j);
int isMyCenterIncludedInYZOfOther(int32_t i, int32_t j);

/* ---- Motion commands: the index when done, -1 otherwise ------------------
 * A command is refused, and writes nothing, when it would turn a placement
 * of numbers into one that is not (a size of 0 divided by, an argument that
 * is not finite, a coordinate beyond the float range). */

int32_t moveBy(int32_t i, double dx, double dy, double dz);
int32_t moveXBy(int32_t i, double d);
int32_t moveYBy(int32_t i, double d);
int32_t moveZBy(int32_t i, double d);
int32_t moveTo(int32_t i, double x, double y, double z);
int32_t moveXTo(int32_t i, double v);
int32_t moveYTo(int32_t i, double v);
int32_t moveZTo(int32_t i, double v);
int32_t moveRelativeBy(int32_t i, double dx, double dy, double dz);
int32_t moveRelativeXBy(int32_t i, double d);
int32_t moveRelativeYBy(int32_t i, double d);
int32_t moveRelativeZBy(int32_t i, double d);
int32_t rotateBy(int32_t i, double ax, double ay, double az, double cx, double cy, double cz);
int32_t rotateXBy(int32_t i, double a, double cx, double cy, double cz);
int32_t rotateYBy(int32_t i, double a, double cx, double cy, double cz);
int32_t rotateZBy(int32_t i, double a, double cx, double cy, double cz);
int32_t rotateCenterBy(int32_t i, double ax, double ay, double az);
int32_t rotateCenterXBy(int32_t i, double a);
int32_t rotateCenterYBy(int32_t i, double a);
int32_t rotateCenterZBy(int32_t i, double a);
int32_t rotateTo(int32_t i, double ax, double ay, double az, double cx, double cy, double cz);
int32_t rotateXTo(int32_t i, double a, double cx, double cy, double cz);
int32_t rotateYTo(int32_t i, double a, double cx, double cy, double cz);
int32_t rotateZTo(int32_t i, double a, double cx, double cy, double cz);
int32_t rotateCenterTo(int32_t i, double ax, double ay, double az);
int32_t rotateCenterXTo(int32_t i, double a);
int32_t rotateCenterYTo(int32_t i, double a);
int32_t rotateCenterZTo(int32_t i, double a);
/* Sizes of 0 or not finite are refused (-1): the object would lose the
 * extent that every later command divides by. */
int32_t resizeTo(int32_t i, double sx, double sy, double sz);
int32_t resizeXTo(int32_t i, double v);
int32_t resizeYTo(int32_t i, double v);
int32_t resizeZTo(int32_t i, double v);
int32_t resizeBy(int32_t i, double dx, double dy, double dz);
int32_t resizeXBy(int32_t i, double d);
int32_t resizeYBy(int32_t i, double d);
int32_t resizeZBy(int32_t i, double d);

/* ---- Relative placement and joints --------------------------------------- */

int32_t moveRelativeAnotherBy(int32_t i, int32_t j, double dx, double dy, double dz);
int32_t moveRelativeAnotherXBy(int32_t i, int32_t j, double d);
int32_t moveRelativeAnotherYBy(int32_t i, int32_t j, double d);
int32_t moveRelativeAnotherZBy(int32_t i, int32_t j, double d);
int32_t alignTwoObjectsRelativeThirdX(int32_t i, int32_t j, int32_t k);
int32_t alignTwoObjectsRelativeThirdY(int32_t i, int32_t j, int32_t k);
int32_t alignTwoObjectsRelativeThirdZ(int32_t i, int32_t j, int32_t k);
int32_t joint2Object(int32_t i, int32_t j, double cx, double cy, double cz);
void putMatrixToScale(ObjectCells a, ObjectCells b, ObjectCells c, Matrix *ua, Matrix *ub, Matrix *uc);
signed char isVectorColinearToAxes(Vector v, Matrix m);
void determinateFacesOfMyself(int axis, ObjectCells k, Matrix mo, Matrix mk, Vector *p0, Vector *p1);
void determinateFacesOfOther(int axis, ObjectCells k, Matrix mo, Matrix mk, Vector *p0, Vector *p1);

/* ---- Intersection test --------------------------------------------------- */

/* 1 when objects a and b are taken to overlap; 0 otherwise, and for an index
 * out of range. Killed objects are tested like live ones. */
int intersects(int32_t a, int32_t b);
/* 1 when the box placed by m lies apart from [0, 1] along axis 1, 2 or 3
 * (X, Y, Z); lo and hi receive the estimated interval. */
char findProjection(double lo0, double hi0, Matrix m, double *lo, double *hi, short axis);

/* ---- Product lifecycle and the products step ------------------------------ */

/* Binds the records to their cells and allocates the step's storage; 1 when
 * done, 0 (with a message on standard error) when a record's cells lie
 * outside the block or the storage cannot be allocated. */
int produitsInit(void);
/* Every live product runs its behaviour: alone, once per object that
 * touches it, and alone again. */
void productsStep(void);
/* Brings the first free product record of `model` to life at (x, y, z) with
 * sizes (sx, sy, sz); its index, or -1 when the model has no free record. */
int32_t prodNew(BehaviorFunction model, double x, double y, double z, double sx, double sy, double sz);

#ifdef __cplusplus
}
#endif

#endif /* VX_PRODUCTS_H */
