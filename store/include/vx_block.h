/*
 * The shared block: the byte layout that a controller program, the plant
 * simulator and the debugger share, and the one accessor layer through which
 * this code base reads and writes its cells.
 *
 * The block is a wire format between processes. All multi-byte values are
 * little-endian, integers are 32-bit two's complement, floats IEEE 754 single
 * precision. Offsets are bytes from the start of the block.
 *
 * The header (MemoryHeader, 20292 bytes):
 *
 *   OFFSET  SIZE   FIELD        DESCRIPTION
 *        0     4   blockSize    size of the block in bytes, as configured;
 *                               rewritten by the program each time it opens it
 *        4   256   reserved     never read or written by the runtime
 *      260  4000   traceBool    IndexList of bool cells to trace
 *     4260  4000   traceInt     IndexList of int cells to trace
 *     8260  4000   traceFloat   IndexList of float cells to trace
 *    12260  4000   traceChar    IndexList of char cells to trace
 *    16260  4000   watchBool    IndexList of bool cells whose change stops
 *                               the program
 *    20260     4   memBool      number of bool cells
 *    20264     4   memInt       number of int cells
 *    20268     4   memFloat     number of float cells
 *    20272     4   memChar      number of char cells
 *    20276     4   offBool      byte offset of the bool area  (= 20292)
 *    20280     4   offInt       byte offset of the int area   (multiple of 12)
 *    20284     4   offFloat     byte offset of the float area (multiple of 12)
 *    20288     4   offChar      byte offset of the char area  (multiple of 4)
 *
 * An IndexList holds up to 1000 cell indexes, packed from its start; it ends
 * at the first entry 0 or after 1000 entries, so cell 0 can never be listed.
 *
 * The four areas follow in the order bool, int, float, char; cell n of a type
 * lies at its area offset plus n times the cell size:
 *
 *   CELL       SIZE  BYTE  CONTENT
 *   BoolCell      2     0  bit 0 cur, bit 1 prev, bit 3 (0x08) forced;
 *                          bits 2 and 4-7 reserved
 *                       1  reserved
 *   IntCell      12   0-3  cur  (int32)
 *                     4-7  prev (int32)
 *                       8  bit 1 (0x02) forced; other bits reserved
 *                    9-11  reserved
 *   FloatCell    12   0-3  cur  (float32)
 *                     4-7  prev (float32)
 *                       8  bit 1 (0x02) forced; other bits reserved
 *                    9-11  reserved
 *   CharCell      4     0  cur
 *                       1  prev
 *                       2  bit 1 (0x02) forced; other bits reserved
 *                       3  reserved
 *
 * `cur` is the value everyone reads and writes; `prev` is the value at the
 * last snapshot (and, while a cell is forced, the forced value). Reserved
 * bits and bytes belong to nobody: every write below keeps them.
 *
 * Other processes write the block at any time and without locks, so every
 * field is read fresh at each use: the vx_load_* and vx_store_* functions
 * below are the only place that touches a field, through volatile access.
 */
#ifndef VX_BLOCK_H
#define VX_BLOCK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
#define VX_STATIC_ASSERT(condition, message) static_assert(condition, message)
extern "C" {
#else
#define VX_STATIC_ASSERT(condition, message) _Static_assert(condition, message)
#endif

/* ---- Cells ------------------------------------------------------------- */

enum {
    VX_BOOL_CUR = 0x01,    /* BoolCell byte 0 */
    VX_BOOL_PREV = 0x02,   /* BoolCell byte 0 */
    VX_BOOL_FORCED = 0x08, /* BoolCell byte 0 */
    VX_CELL_FORCED = 0x02  /* flags byte of IntCell, FloatCell and CharCell */
};

typedef struct BoolCell {
    uint8_t bits;
    uint8_t reserved;
} BoolCell;

typedef struct IntCell {
    int32_t cur;
    int32_t prev;
    uint8_t flags;
    uint8_t reserved[3];
} IntCell;

typedef struct FloatCell {
    float cur;
    float prev;
    uint8_t flags;
    uint8_t reserved[3];
} FloatCell;

typedef struct CharCell {
    uint8_t cur;
    uint8_t prev;
    uint8_t flags;
    uint8_t reserved;
} CharCell;

VX_STATIC_ASSERT(sizeof(BoolCell) == 2, "BoolCell is 2 bytes");
VX_STATIC_ASSERT(offsetof(BoolCell, bits) == 0, "BoolCell bits at byte 0");
VX_STATIC_ASSERT(sizeof(IntCell) == 12, "IntCell is 12 bytes");
VX_STATIC_ASSERT(offsetof(IntCell, cur) == 0, "IntCell cur at byte 0");
VX_STATIC_ASSERT(offsetof(IntCell, prev) == 4, "IntCell prev at byte 4");
VX_STATIC_ASSERT(offsetof(IntCell, flags) == 8, "IntCell flags at byte 8");
VX_STATIC_ASSERT(sizeof(FloatCell) == 12, "FloatCell is 12 bytes");
VX_STATIC_ASSERT(offsetof(FloatCell, cur) == 0, "FloatCell cur at byte 0");
VX_STATIC_ASSERT(offsetof(FloatCell, prev) == 4, "FloatCell prev at byte 4");
VX_STATIC_ASSERT(offsetof(FloatCell, flags) == 8, "FloatCell flags at byte 8");
VX_STATIC_ASSERT(sizeof(CharCell) == 4, "CharCell is 4 bytes");
VX_STATIC_ASSERT(offsetof(CharCell, cur) == 0, "CharCell cur at byte 0");
VX_STATIC_ASSERT(offsetof(CharCell, prev) == 1, "CharCell prev at byte 1");
VX_STATIC_ASSERT(offsetof(CharCell, flags) == 2, "CharCell flags at byte 2");
VX_STATIC_ASSERT(sizeof(float) == 4, "float is IEEE 754 single precision");

/* ---- Header ------------------------------------------------------------ */

enum {
    VX_INDEX_LIST_LENGTH = 1000,
    VX_HEADER_RESERVED_BYTES = 256,
    VX_HEADER_SIZE = 20292
};

typedef struct IndexList {
    int32_t entry[VX_INDEX_LIST_LENGTH];
} IndexList;

typedef struct MemoryHeader {
    int32_t blockSize;
    uint8_t reserved[VX_HEADER_RESERVED_BYTES];
    IndexList traceBool;
    IndexList traceInt;
    IndexList traceFloat;
    IndexList traceChar;
    IndexList watchBool;
    int32_t memBool;
    int32_t memInt;
    int32_t memFloat;
    int32_t memChar;
    int32_t offBool;
    int32_t offInt;
    int32_t offFloat;
    int32_t offChar;
} MemoryHeader;

VX_STATIC_ASSERT(sizeof(IndexList) == 4000, "IndexList is 1000 int32");
VX_STATIC_ASSERT(sizeof(MemoryHeader) == VX_HEADER_SIZE, "header is 20292 bytes");
VX_STATIC_ASSERT(offsetof(MemoryHeader, blockSize) == 0, "blockSize at 0");
VX_STATIC_ASSERT(offsetof(MemoryHeader, reserved) == 4, "reserved at 4");
VX_STATIC_ASSERT(offsetof(MemoryHeader, traceBool) == 260, "traceBool at 260");
VX_STATIC_ASSERT(offsetof(MemoryHeader, traceInt) == 4260, "traceInt at 4260");
VX_STATIC_ASSERT(offsetof(MemoryHeader, traceFloat) == 8260, "traceFloat at 8260");
VX_STATIC_ASSERT(offsetof(MemoryHeader, traceChar) == 12260, "traceChar at 12260");
VX_STATIC_ASSERT(offsetof(MemoryHeader, watchBool) == 16260, "watchBool at 16260");
VX_STATIC_ASSERT(offsetof(MemoryHeader, memBool) == 20260, "memBool at 20260");
VX_STATIC_ASSERT(offsetof(MemoryHeader, memInt) == 20264, "memInt at 20264");
VX_STATIC_ASSERT(offsetof(MemoryHeader, memFloat) == 20268, "memFloat at 20268");
VX_STATIC_ASSERT(offsetof(MemoryHeader, memChar) == 20272, "memChar at 20272");
VX_STATIC_ASSERT(offsetof(MemoryHeader, offBool) == 20276, "offBool at 20276");
VX_STATIC_ASSERT(offsetof(MemoryHeader, offInt) == 20280, "offInt at 20280");
VX_STATIC_ASSERT(offsetof(MemoryHeader, offFloat) == 20284, "offFloat at 20284");
VX_STATIC_ASSERT(offsetof(MemoryHeader, offChar) == 20288, "offChar at 20288");

/* ---- Execution status (the cur word of execstatus, int cell 311) -------- */

enum {
#define VX_STATUS(name, value) name = value,
#include "vx_control_cells.def"
};

/* ---- Field access: the one place that touches the block ----------------- */

static inline uint8_t vx_load_u8(const uint8_t *field) {
    return *(const volatile uint8_t *)field;
}
static inline void vx_store_u8(uint8_t *field, uint8_t value) {
    *(volatile uint8_t *)field = value;
}
static inline int32_t vx_load_i32(const int32_t *field) {
    return *(const volatile int32_t *)field;
}
static inline void vx_store_i32(int32_t *field, int32_t value) {
    *(volatile int32_t *)field = value;
}
static inline float vx_load_f32(const float *field) {
    return *(const volatile float *)field;
}
static inline void vx_store_f32(float *field, float value) {
    *(volatile float *)field = value;
}

/* ---- Cell access used by generated code ---------------------------------
 * A bool cell is rewritten as a whole byte (cur, prev and forced together),
 * keeping the reserved bits. */

static inline int vx_bool_cur(const BoolCell *cell) {
    return vx_load_u8(&cell->bits) & VX_BOOL_CUR;
}
static inline void vx_bool_set_cur(BoolCell *cell, int value) {
    uint8_t bits = vx_load_u8(&cell->bits);
    bits = (uint8_t)((value & 1) ? (bits | VX_BOOL_CUR) : (bits & ~VX_BOOL_CUR));
    vx_store_u8(&cell->bits, bits);
}
static inline int32_t vx_int_cur(const IntCell *cell) {
    return vx_load_i32(&cell->cur);
}
static inline void vx_int_set_cur(IntCell *cell, int32_t value) {
    vx_store_i32(&cell->cur, value);
}
static inline float vx_float_cur(const FloatCell *cell) {
    return vx_load_f32(&cell->cur);
}
static inline void vx_float_set_cur(FloatCell *cell, float value) {
    vx_store_f32(&cell->cur, value);
}
static inline uint8_t vx_char_cur(const CharCell *cell) {
    return vx_load_u8(&cell->cur);
}
static inline void vx_char_set_cur(CharCell *cell, uint8_t value) {
    vx_store_u8(&cell->cur, value);
}

#ifdef __cplusplus
}
#endif

#endif /* VX_BLOCK_H */
