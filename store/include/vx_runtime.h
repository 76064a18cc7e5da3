/*
 * The runtime as generated controller code and the executive see it: the
 * globals that hold the block and its control variables, the services that
 * generated code calls, and the entry points that every generated controller
 * provides. Plain C, so that generated code can be compiled as C; the
 * runtime itself is C++ behind these declarations and never lets an
 * exception cross them.
 */
#ifndef VX_RUNTIME_H
#define VX_RUNTIME_H

#include <stdint.h>
#include <stdio.h>

#include "vx_block.h"

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The block and its areas ------------------------------------------- */

/* Four cell pointers, one per area, in the order bool, int, float, char:
 * `mem` holds the area starts, `self` the allocation cursors from which
 * generated code binds its variables (a cursor advances one cell at a time). */
typedef struct VX_Areas {
    BoolCell *boolCells;
    IntCell *intCells;
    FloatCell *floatCells;
    CharCell *charCells;
} VX_Areas;

/* Four cell counts or indexes, in the order bool, int, float, char. */
typedef struct VX_Sizes {
    int32_t boolCells;
    int32_t intCells;
    int32_t floatCells;
    int32_t charCells;
} VX_Sizes;

extern MemoryHeader *memHeader;
extern VX_Areas mem;
extern VX_Areas self;
extern int32_t self_num;
extern VX_Sizes minSize, maxSize, memSize;
extern int32_t minBool, minInt, minFloat, minChar;
extern int32_t maxBool, maxInt, maxFloat, maxChar;
extern int32_t pospid, posmxsimucounter, posmxmicrostepcounter;
extern int32_t nbStateModification;
extern int32_t LIBFB_ERR;

/* ---- Fixed control variables (bound by controlVariablesAccessInitialization)
 * Their cells are the same in every controller program: vx_control_cells.def
 * lists them. The constants below follow from the table (checked in
 * vx/control_cells.hpp); generated code uses them. */

enum {
    VX_FIXED_BOOL_CELLS = 5,   /* bool 0-4 */
    VX_FIXED_INT_CELLS = 212,  /* int 311-522 */
    VX_FIXED_FLOAT_CELLS = 7,  /* float 10-16 */
    VX_FIXED_CHAR_CELLS = 53,  /* char 0-52 (the task name) */
    VX_INT_FLOOR = 311,        /* int cells below are not used */
    VX_FLOAT_FLOOR = 10,       /* float cells below are not used */
    VX_MAX_BREAKPOINTS = 101,
    VX_TASKNAME_CAPACITY = 50
};

#define VX_CONTROL_CELL(name, type, index) extern type##Cell *name;
#include "vx_control_cells.def"

/* ---- Executive -------------------------------------------------------- */

/* Names of the trace file and the parameters file, derived from the
 * program's path; large enough for any path the system can open. */
enum { VX_FILE_NAME_CAPACITY = 4112 };
extern char tracename[VX_FILE_NAME_CAPACITY];
extern char paramfilename[VX_FILE_NAME_CAPACITY];
extern FILE *trace;
extern double timeNow;

void VXD_wait(uint32_t microseconds);
void VXD_init_time(void);
int VXD_read_parameters(void);
uint32_t align(uint32_t value, uint32_t unit);

/* ---- Shared block lifecycle and clock ----------------------------------- */

MemoryHeader *openMemory(void);
int closeMemory(MemoryHeader *header);
int destroyMemory(void);
int eraseMemory(MemoryHeader *block);
void initPointersValues(MemoryHeader *header, VX_Areas *areas);
void waitMicroSeconds(uint32_t microseconds);
long double microSecondsNow(void);
long double milliSecondsNow(void);

/* ---- Start values ------------------------------------------------------
 * Write a start value into cur and prev; an index outside its area is
 * ignored. */

void VX_Bool_Init(MemoryHeader *header, int32_t index, int32_t value);
void VX_Int_Init(MemoryHeader *header, int32_t index, int32_t value);
void VX_Float_Init(MemoryHeader *header, int32_t index, float value);
void VX_Char_Init(MemoryHeader *header, int32_t index, uint8_t value);

/* ---- Execution status ---------------------------------------------------- */

void VX_manage_exec_status(IntCell *status);
void VX_hook(IntCell *status);

/* ---- Forcing, freezing, posting ----------------------------------------
 * Force and unforce return 1 when done and 0 when the index lies outside
 * its area (the cell is then left alone). */

void VX_post_bool(BoolCell *cell);
void VX_post_int(IntCell *cell);
void VX_post_float(FloatCell *cell);
void VX_post_char(CharCell *cell);
void VX_freeze_bool(BoolCell *cell);
void VX_freeze_int(IntCell *cell);
void VX_freeze_float(FloatCell *cell);
void VX_freeze_char(CharCell *cell);
void VX_freeze_bool_array(BoolCell *array, int32_t count);
void VX_freeze_int_array(IntCell *array, int32_t count);
void VX_freeze_float_array(FloatCell *array, int32_t count);
void VX_freeze_char_array(CharCell *array, int32_t count);

int VX_force_bool(MemoryHeader *header, int32_t index, int32_t value);
int VX_force_int(MemoryHeader *header, int32_t index, int32_t value);
int VX_force_float(MemoryHeader *header, int32_t index, float value);
int VX_force_char(MemoryHeader *header, int32_t index, int32_t value);
int VX_unforce_bool(MemoryHeader *header, int32_t index);
int VX_unforce_int(MemoryHeader *header, int32_t index);
int VX_unforce_float(MemoryHeader *header, int32_t index);
int VX_unforce_char(MemoryHeader *header, int32_t index);

void VX_freeze_memory_for_debug(MemoryHeader *header);
int VX_addIndex(int32_t index, IndexList *list);
int VX_removeIndex(int32_t index, IndexList *list);

/* ---- Debug step, breakpoints, reports ----------------------------------- */

void VX_manage_debug_informations(MemoryHeader *header);
void VX_manage_breakpoints(MemoryHeader *header);
int breakpoint_st(int32_t location, int32_t instance);
int raise_debug_break(int32_t location, int32_t prepostcode, int32_t typeerror,
                      int32_t rank);
int VX_error(void);

enum { VX_REPORT_BREAKPOINT_CHECK = 8 };

/* ---- Trace ------------------------------------------------------------- */

int openTrace(void);
void VX_manage_trace(MemoryHeader *header);

/* ---- Process I/O -------------------------------------------------------
 * A cell address table holds one cell address per element; entries 0 and 1
 * are not used, element i is at entry i + 2. */

void VX_init_ios(MemoryHeader *header);
int VX_read_inputs(MemoryHeader *header);
int VX_write_outputs(MemoryHeader *header);
void VX_wait_mutex(void);
void VX_release_mutex(void);
void VX_read_boolean_array(BoolCell *const *table, const uint8_t *values, int32_t count);
void VX_write_boolean_array(BoolCell *const *table, uint8_t *values, int32_t count);
void VX_read_integer_array(IntCell *const *table, const int32_t *values, int32_t count);
void VX_write_integer_array(IntCell *const *table, int32_t *values, int32_t count);
void VX_read_float_array(FloatCell *const *table, const float *values, int32_t count);
void VX_write_float_array(FloatCell *const *table, float *values, int32_t count);
void VX_read_character_array(CharCell *const *table, const uint8_t *values, int32_t count);
void VX_write_character_array(CharCell *const *table, uint8_t *values, int32_t count);

/* ---- Temporary arrays ----------------------------------------------------
 * Library functions return strings and time values as new arrays in cell
 * format, taken from a private pool of VX_TEMP_POOL_SIZE bytes by bumping a
 * cursor; free_all_alloc releases them all at once. An allocation that does
 * not fit (or asks for a negative count) writes a message on standard error
 * and returns a null pointer. A bool, int or float array of n elements has
 * two header cells (element i is cell i + 2); a char array of capacity n has
 * the capacity in the prev bytes of cells 0 (high) and 1 (low), and character
 * i in cell i + 3. The helpers read and write cur values only, except where
 * said; a null array copies nothing and holds nothing. */

enum { VX_TEMP_POOL_SIZE = 10000 };
extern unsigned char Temp_Alloc[VX_TEMP_POOL_SIZE];
extern int32_t nb_alloc;

BoolCell *alloc_bool(int32_t n);
CharCell *alloc_char(int32_t n);
IntCell *alloc_int(int32_t n);
FloatCell *alloc_float(int32_t n);
void free_all_alloc(void);

int32_t array_char_size(const CharCell *s);
int32_t array_char_len(const CharCell *s);
void copy_bool_array(BoolCell *dst, const BoolCell *src, int32_t n);
void copy_bool_array_negated(BoolCell *dst, const BoolCell *src, int32_t n);
void copy_int_array(IntCell *dst, const IntCell *src, int32_t n);
void copy_float_array(FloatCell *dst, const FloatCell *src, int32_t n);
/* Sets the low byte of dst's capacity to n and copies up to n characters of
 * src (never more than dst's capacity). */
void copy_char_array(CharCell *dst, const CharCell *src, int32_t n);
/* Cells 2 and 3 copied whole: values, flags and reserved bytes. */
void copy_time_array(IntCell *dst, const IntCell *src);
void copy_dt_array(IntCell *dst, const IntCell *src);
/* 1 when equal, 0 when not; arrays of different counts are never equal. */
int32_t compare_bool_arrays(const BoolCell *a, const BoolCell *b, int32_t count_a, int32_t count_b);
int32_t compare_int_arrays(const IntCell *a, const IntCell *b, int32_t count_a, int32_t count_b);
int32_t compare_float_arrays(const FloatCell *a, const FloatCell *b, int32_t count_a, int32_t count_b);
int32_t compare_char_arrays(const CharCell *a, const CharCell *b, int32_t size_a, int32_t size_b);
/* value with bit (bit mod 32) set when flag is not 0, cleared when it is. */
uint32_t affect_AnyBit(uint32_t value, int32_t bit, int32_t flag);

/* ---- Provided by every generated controller ------------------------------ */

void memorySizeInit(VX_Sizes *lowest, VX_Sizes *upper, VX_Sizes *counts);
void memoryStartInit(VX_Areas *cursors);
void inputOutputVariablesInit(void);
int32_t behaviorsInit(void);
int32_t behaviorsStep(void);
void globalesInit(void);
void variablesInitialization(void);
void controlVariablesAccessInitialization(void);
void timeCycleInitialization(float *period);
void initStartingMode(int32_t *status);
int32_t getSignature(void);
int32_t getGenerationTime(void);

#ifdef __cplusplus
}
#endif

#endif /* VX_RUNTIME_H */
