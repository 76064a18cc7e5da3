// Forcing, posting, start values, the per-cycle snapshot and the index lists,
// on the test controller's block. The four cell kinds behave alike, so the
// common behaviour is one typed test; what is peculiar to a kind follows.
#include <array>
#include <cstring>
#include <vector>

#include "support.hpp"
#include "vx/runtime.hpp"

namespace vx::unit {
namespace {

template <class Cell> struct Ops;

template <> struct Ops<BoolCell> {
    static constexpr std::int32_t output = TEST_TOGGLE, count = TEST_BOOL_CELLS;
    static constexpr bool forced_value = true, other = false;
    static constexpr int array_header = 2;
    static constexpr std::array<std::uint8_t, 2> reserved{0xF4, 0xFF};
    static int force(MemoryHeader* h, std::int32_t i, bool v) { return VX_force_bool(h, i, v); }
    static void init(MemoryHeader* h, std::int32_t i, bool v) { VX_Bool_Init(h, i, v); }
    static constexpr auto unforce = VX_unforce_bool;
    static constexpr auto post = VX_post_bool;
    static constexpr auto freeze = VX_freeze_bool;
    static constexpr auto freeze_array = VX_freeze_bool_array;
};
template <> struct Ops<IntCell> {
    static constexpr std::int32_t output = TEST_INT_OUT, count = TEST_INT_CELLS;
    static constexpr std::int32_t forced_value = -1234, other = 77;
    static constexpr int array_header = 2;
    static constexpr std::array<std::uint8_t, 12> reserved{0, 0, 0, 0, 0, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF};
    static constexpr auto force = VX_force_int;
    static constexpr auto init = VX_Int_Init;
    static constexpr auto unforce = VX_unforce_int;
    static constexpr auto post = VX_post_int;
    static constexpr auto freeze = VX_freeze_int;
    static constexpr auto freeze_array = VX_freeze_int_array;
};
template <> struct Ops<FloatCell> {
    static constexpr std::int32_t output = TEST_FLOAT_OUT, count = TEST_FLOAT_CELLS;
    static constexpr float forced_value = -3.25f, other = 7.5f;
    static constexpr int array_header = 2;
    static constexpr std::array<std::uint8_t, 12> reserved{0, 0, 0, 0, 0, 0, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF};
    static constexpr auto force = VX_force_float;
    static constexpr auto init = VX_Float_Init;
    static constexpr auto unforce = VX_unforce_float;
    static constexpr auto post = VX_post_float;
    static constexpr auto freeze = VX_freeze_float;
    static constexpr auto freeze_array = VX_freeze_float_array;
};
template <> struct Ops<CharCell> {
    static constexpr std::int32_t output = TEST_CHAR_OUT, count = TEST_CHAR_CELLS;
    static constexpr std::uint8_t forced_value = 200, other = 7;
    static constexpr int array_header = 3;  // char arrays carry their capacity
    static constexpr std::array<std::uint8_t, 4> reserved{0, 0, 0xFD, 0xFF};
    static constexpr auto force = VX_force_char;
    static constexpr auto init = VX_Char_Init;
    static constexpr auto unforce = VX_unforce_char;
    static constexpr auto post = VX_post_char;
    static constexpr auto freeze = VX_freeze_char;
    static constexpr auto freeze_array = VX_freeze_char_array;
};

template <class Cell> Cell forced_cell(typename CellTraits<Cell>::Value forced_to, typename CellTraits<Cell>::Value now) {
    Cell cell{};
    set_start_value(cell, forced_to);
    set_forced(cell, true);
    set_cur(cell, now);
    return cell;
}

template <class Cell> class EveryCellKind : public ControllerTest {
protected:
    Cell& cell(std::int32_t index) { return *ctl().block().template cell<Cell>(index); }
    std::vector<std::uint8_t> block_bytes() {
        const auto* p = reinterpret_cast<const std::uint8_t*>(header());
        return {p, p + ctl().block().layout().space};
    }
};
using CellKinds = ::testing::Types<BoolCell, IntCell, FloatCell, CharCell>;
TYPED_TEST_SUITE(EveryCellKind, CellKinds);

// A forced output keeps its value although the controller assigns it every
// pass; once unforced, the controller's own value holds again.
TYPED_TEST(EveryCellKind, ForcedOutputSurvivesTheEvolutionUntilUnforced) {
    using O = Ops<TypeParam>;
    auto& out = this->cell(O::output);
    ASSERT_EQ(O::force(this->header(), O::output, O::forced_value), 1);
    EXPECT_EQ(cur(out), O::forced_value);
    EXPECT_EQ(prev(out), O::forced_value);
    EXPECT_TRUE(forced(out));
    this->ctl().evolve();
    this->ctl().evolve();
    EXPECT_EQ(cur(out), O::forced_value);
    ASSERT_EQ(O::unforce(this->header(), O::output), 1);
    EXPECT_FALSE(forced(out));
    EXPECT_EQ(cur(out), O::forced_value);  // unforcing changes no value
    this->ctl().evolve();
    EXPECT_NE(cur(out), O::forced_value);
}

TYPED_TEST(EveryCellKind, PostAndFreezeCopyPrevIntoCurOnlyWhileForced) {
    using O = Ops<TypeParam>;
    for (auto op : {O::post, O::freeze}) {
        auto cell = forced_cell<TypeParam>(O::forced_value, O::other);
        op(&cell);
        EXPECT_EQ(cur(cell), O::forced_value);
        EXPECT_TRUE(forced(cell));
        set_forced(cell, false);
        set_cur(cell, O::other);
        op(&cell);
        EXPECT_EQ(cur(cell), O::other);
        op(nullptr);  // no cell: nothing to do, no crash
    }
}

TYPED_TEST(EveryCellKind, FreezeArraySkipsHeaderStopsAtCount) {
    using O = Ops<TypeParam>;
    for (std::int32_t n : {3, 0, -1, INT32_MIN}) {
        std::array<TypeParam, 8> run;
        run.fill(forced_cell<TypeParam>(O::forced_value, O::other));
        O::freeze_array(run.data(), n);
        for (int k = 0; k < 8; ++k) {
            const bool element = k >= O::array_header && k < O::array_header + n;
            EXPECT_EQ(cur(run[k]), element ? O::forced_value : O::other) << "n " << n << " cell " << k;
        }
    }
}

TYPED_TEST(EveryCellKind, InitWritesCurAndPrevAndKeepsTheFlag) {
    using O = Ops<TypeParam>;
    auto& c = this->cell(O::output);
    set_forced(c, true);
    O::init(this->header(), O::output, O::forced_value);
    EXPECT_EQ(cur(c), O::forced_value);
    EXPECT_EQ(prev(c), O::forced_value);
    EXPECT_TRUE(forced(c));
}

// Reserved bits belong to other processes, set or clear.
TYPED_TEST(EveryCellKind, ForcingAndStartValuesKeepReservedBits) {
    using O = Ops<TypeParam>;
    auto& c = this->cell(O::output);
    for (const bool set : {true, false}) {
        std::array<std::uint8_t, sizeof(TypeParam)> raw{};
        if (set) raw = O::reserved;
        std::memcpy(&c, raw.data(), raw.size());
        O::force(this->header(), O::output, O::forced_value);
        O::post(&c);
        O::unforce(this->header(), O::output);
        O::init(this->header(), O::output, O::other);
        std::memcpy(raw.data(), &c, raw.size());
        for (std::size_t k = 0; k < raw.size(); ++k)
            EXPECT_EQ(raw[k] & O::reserved[k], set ? O::reserved[k] : 0) << "byte " << k;
    }
}

// Indexes come from the debugger: outside the area, or with a header that
// is not this program's block, nothing is written anywhere.
TYPED_TEST(EveryCellKind, BadIndexesAndForeignHeadersChangeNothing) {
    using O = Ops<TypeParam>;
    const auto before = this->block_bytes();
    for (std::int32_t index : {-1, O::count, O::count + 1000, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(O::force(this->header(), index, O::forced_value), 0) << index;
        EXPECT_EQ(O::unforce(this->header(), index), 0) << index;
        O::init(this->header(), index, O::forced_value);
    }
    std::vector<std::uint8_t> foreign_bytes(before.size());
    auto* foreign = reinterpret_cast<MemoryHeader*>(foreign_bytes.data());
    write_layout(*foreign, this->ctl().block().layout());
    const auto foreign_before = foreign_bytes;
    for (MemoryHeader* h : {foreign, static_cast<MemoryHeader*>(nullptr)}) {
        EXPECT_EQ(O::force(h, O::output, O::forced_value), 0);
        EXPECT_EQ(O::unforce(h, O::output), 0);
        O::init(h, O::output, O::forced_value);
    }
    EXPECT_EQ(foreign_bytes, foreign_before);
    EXPECT_EQ(this->block_bytes(), before);
}

// ---- What is peculiar to one kind ----

using Forcing = ControllerTest;

TEST_F(Forcing, OnlyBitZeroOfABoolValueAndTheLowByteOfACharCount) {
    struct BoolRow {
        std::int32_t value;
        bool forced_to;
    };
    for (const auto& r : {BoolRow{2, false}, BoolRow{3, true}, BoolRow{-1, true}, BoolRow{INT32_MIN, false}}) {
        set_start_value(b(TEST_TOGGLE), !r.forced_to);
        ASSERT_EQ(VX_force_bool(header(), TEST_TOGGLE, r.value), 1);
        EXPECT_EQ(cur(b(TEST_TOGGLE)), r.forced_to) << r.value;
        EXPECT_EQ(prev(b(TEST_TOGGLE)), r.forced_to) << r.value;
        VX_Bool_Init(header(), TEST_INPUT, r.value);
        EXPECT_EQ(cur(b(TEST_INPUT)), r.forced_to) << r.value;
    }
    for (std::int32_t value : {321, 65 - 256, 65 + (1 << 30)}) {
        ASSERT_EQ(VX_force_char(header(), TEST_CHAR_OUT, value), 1);
        EXPECT_EQ(cur(c(TEST_CHAR_OUT)), 65) << value;
        EXPECT_EQ(prev(c(TEST_CHAR_OUT)), 65) << value;
    }
}

// ---- Snapshot ----

TEST_F(Forcing, SnapshotCopiesCurIntoPrevOfListedCellsOnly) {
    MemoryHeader& h = *header();
    set_cur(b(5), true);
    set_cur(b(6), true);  // not listed
    set_cur(b(7), true);
    set_cur(i(523), 9);
    set_cur(i(524), 9);  // not listed
    set_cur(f(17), 2.5f);
    set_cur(c(53), 'q');
    h.traceBool.entry[0] = 5;
    h.watchBool.entry[0] = 7;
    h.traceInt.entry[0] = 523;
    h.traceFloat.entry[0] = 17;
    h.traceChar.entry[0] = 53;
    VX_freeze_memory_for_debug(&h);
    EXPECT_TRUE(prev(b(5)));
    EXPECT_FALSE(prev(b(6)));
    EXPECT_TRUE(prev(b(7)));
    EXPECT_EQ(prev(i(523)), 9);
    EXPECT_EQ(prev(i(524)), 0);
    EXPECT_EQ(prev(f(17)), 2.5f);
    EXPECT_EQ(prev(c(53)), 'q');
}

TEST_F(Forcing, SnapshotSkipsEntriesOutsideTheAreaAndKeepsNaNBits) {
    MemoryHeader& h = *header();
    const std::int32_t entries[] = {-3, TEST_INT_CELLS, INT32_MAX, 523};
    std::memcpy(h.traceInt.entry, entries, sizeof entries);
    set_cur(i(523), 41);
    const std::uint32_t nan_bits = 0x7FC12345u;
    float nan;
    std::memcpy(&nan, &nan_bits, 4);
    set_cur(f(17), nan);
    h.traceFloat.entry[0] = 17;
    VX_freeze_memory_for_debug(&h);
    EXPECT_EQ(prev(i(523)), 41);
    const float copied = prev(f(17));
    std::uint32_t copied_bits;
    std::memcpy(&copied_bits, &copied, 4);
    EXPECT_EQ(copied_bits, nan_bits);
}

// A full list is used to its last entry, and the word after it (the next
// list) is never taken as one of its entries.
TEST_F(Forcing, SnapshotUsesAFullListWholeAndNothingBeyondIt) {
    MemoryHeader& h = *header();
    for (auto& e : h.traceChar.entry) e = 40;
    h.traceChar.entry[999] = 53;
    h.watchBool.entry[0] = 7;  // the word after traceChar
    set_cur(c(53), 'z');
    set_start_value(c(7), std::uint8_t{0});
    set_cur(c(7), 'z');
    set_cur(b(7), true);
    VX_freeze_memory_for_debug(&h);
    EXPECT_EQ(prev(c(53)), 'z');
    EXPECT_EQ(prev(c(7)), 0);
    EXPECT_TRUE(prev(b(7)));
}

TEST_F(Forcing, SnapshotOfAForeignHeaderDoesNothing) {
    std::vector<std::uint8_t> bytes(ctl().block().layout().space);
    auto* foreign = reinterpret_cast<MemoryHeader*>(bytes.data());
    write_layout(*foreign, ctl().block().layout());
    foreign->traceInt.entry[0] = 523;
    const BlockView view(foreign, ctl().block().layout());
    set_cur(*view.cell<IntCell>(523), 5);
    VX_freeze_memory_for_debug(foreign);
    EXPECT_EQ(prev(*view.cell<IntCell>(523)), 0);
}

// ---- Index lists ----

IndexList list_of(std::initializer_list<std::int32_t> entries) {
    IndexList list{};
    std::copy(entries.begin(), entries.end(), list.entry);
    return list;
}
IndexList full_list() {
    IndexList list{};
    for (int k = 0; k < VX_INDEX_LIST_LENGTH; ++k) list.entry[k] = k + 1;
    return list;
}

TEST(IndexLists, AddWritesTheFirstFreeEntryOnce) {
    struct Row {
        const char* what;
        IndexList before;
        std::int32_t index;
        int result;
        IndexList after;
    };
    const Row kRows[] = {
        {"empty", list_of({}), 7, 1, list_of({7})},
        {"appended", list_of({3, 9}), 7, 1, list_of({3, 9, 7})},
        {"already listed", list_of({3, 7}), 7, 0, list_of({3, 7})},
        {"listed only after a hole", list_of({3, 0, 7}), 7, 1, list_of({3, 7, 7})},
        {"index 0", list_of({3}), 0, 0, list_of({3})},
        {"negative", list_of({}), -4, 1, list_of({-4})},
        {"full", full_list(), 5000, 0, full_list()},
        {"full, already listed", full_list(), 1000, 0, full_list()},
    };
    for (auto r : kRows) {
        EXPECT_EQ(VX_addIndex(r.index, &r.before), r.result) << r.what;
        EXPECT_EQ(std::memcmp(&r.before, &r.after, sizeof(IndexList)), 0) << r.what;
    }
    EXPECT_EQ(VX_addIndex(7, nullptr), 0);
}

TEST(IndexLists, RemoveClosesTheGapAndClearsTheLastEntry) {
    IndexList last_removed = full_list();
    last_removed.entry[999] = 0;
    IndexList first_removed{};
    for (int k = 0; k < VX_INDEX_LIST_LENGTH - 1; ++k) first_removed.entry[k] = k + 2;
    struct Row {
        const char* what;
        IndexList before;
        std::int32_t index;
        int result;
        IndexList after;
    };
    const Row kRows[] = {
        {"first of three", list_of({4, 5, 6}), 4, 1, list_of({5, 6})},
        {"last of three", list_of({4, 5, 6}), 6, 1, list_of({4, 5})},
        {"first of two equal", list_of({4, 5, 4}), 4, 1, list_of({5, 4})},
        {"beyond a hole", list_of({4, 0, 6}), 6, 1, list_of({4})},
        {"not listed", list_of({4, 5, 6}), 9, 0, list_of({4, 5, 6})},
        {"first of a full list", full_list(), 1, 1, first_removed},
        {"last of a full list", full_list(), 1000, 1, last_removed},
    };
    for (auto r : kRows) {
        EXPECT_EQ(VX_removeIndex(r.index, &r.before), r.result) << r.what;
        EXPECT_EQ(std::memcmp(&r.before, &r.after, sizeof(IndexList)), 0) << r.what;
    }
    EXPECT_EQ(VX_removeIndex(7, nullptr), 0);
}

}  // namespace
}  // namespace vx::unit
