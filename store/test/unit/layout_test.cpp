// The block's byte layout is a wire format shared with the simulator and the
// debugger: every field written through the C types must land, little-endian,
// at the byte offset the other processes read, and the reverse.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "vx/block.hpp"
#include "vx_runtime.h"

namespace vx {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes bytes_at(const void* base, std::size_t offset, std::size_t n) {
    const auto* p = static_cast<const std::uint8_t*>(base) + offset;
    return Bytes(p, p + n);
}
Bytes le32(std::uint32_t v) { return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)}; }

std::unique_ptr<MemoryHeader> zeroed_header() {
    auto h = std::make_unique<MemoryHeader>();
    std::memset(static_cast<void*>(h.get()), 0, sizeof(MemoryHeader));
    return h;
}

// Every 32-bit word of the header that has a name, at its documented offset
// (first and last entry of each index list).
struct HeaderWord {
    std::size_t offset;
    std::int32_t* (*at)(MemoryHeader&);
};
constexpr HeaderWord kHeaderWords[] = {
    {0, [](MemoryHeader& h) { return &h.blockSize; }},
    {260, [](MemoryHeader& h) { return &h.traceBool.entry[0]; }},
    {4256, [](MemoryHeader& h) { return &h.traceBool.entry[999]; }},
    {4260, [](MemoryHeader& h) { return &h.traceInt.entry[0]; }},
    {8256, [](MemoryHeader& h) { return &h.traceInt.entry[999]; }},
    {8260, [](MemoryHeader& h) { return &h.traceFloat.entry[0]; }},
    {12256, [](MemoryHeader& h) { return &h.traceFloat.entry[999]; }},
    {12260, [](MemoryHeader& h) { return &h.traceChar.entry[0]; }},
    {16256, [](MemoryHeader& h) { return &h.traceChar.entry[999]; }},
    {16260, [](MemoryHeader& h) { return &h.watchBool.entry[0]; }},
    {20256, [](MemoryHeader& h) { return &h.watchBool.entry[999]; }},
    {20260, [](MemoryHeader& h) { return &h.memBool; }},
    {20264, [](MemoryHeader& h) { return &h.memInt; }},
    {20268, [](MemoryHeader& h) { return &h.memFloat; }},
    {20272, [](MemoryHeader& h) { return &h.memChar; }},
    {20276, [](MemoryHeader& h) { return &h.offBool; }},
    {20280, [](MemoryHeader& h) { return &h.offInt; }},
    {20284, [](MemoryHeader& h) { return &h.offFloat; }},
    {20288, [](MemoryHeader& h) { return &h.offChar; }},
};

std::uint32_t pattern(std::size_t k) { return 0xA1B2C300u + static_cast<std::uint32_t>(k); }

TEST(Layout, HeaderFieldsLieAtTheirDocumentedOffsets) {
    auto h = zeroed_header();
    for (std::size_t k = 0; k < std::size(kHeaderWords); ++k)
        vx_store_i32(kHeaderWords[k].at(*h), static_cast<std::int32_t>(pattern(k)));
    h->reserved[0] = 0x5A;
    h->reserved[255] = 0xA5;
    for (std::size_t k = 0; k < std::size(kHeaderWords); ++k)
        EXPECT_EQ(bytes_at(h.get(), kHeaderWords[k].offset, 4), le32(pattern(k))) << "offset " << kHeaderWords[k].offset;
    EXPECT_EQ(bytes_at(h.get(), 4, 1), Bytes{0x5A});
    EXPECT_EQ(bytes_at(h.get(), 259, 1), Bytes{0xA5});
}

TEST(Layout, BytesAtTheDocumentedOffsetsReadBackThroughTheHeader) {
    auto h = zeroed_header();
    auto* raw = reinterpret_cast<std::uint8_t*>(h.get());
    for (std::size_t k = 0; k < std::size(kHeaderWords); ++k) {
        const Bytes b = le32(pattern(k));
        std::memcpy(raw + kHeaderWords[k].offset, b.data(), 4);
    }
    for (std::size_t k = 0; k < std::size(kHeaderWords); ++k)
        EXPECT_EQ(static_cast<std::uint32_t>(vx_load_i32(kHeaderWords[k].at(*h))), pattern(k));
}

// One cell of each kind, written through the accessors with every field set,
// byte for byte as the other processes see it.
TEST(Layout, CellFieldsLieAtTheirDocumentedBytesAndBits) {
    BoolCell b{};
    set_cur(b, true);
    EXPECT_EQ(b.bits, 0x01);
    set_prev(b, true);
    EXPECT_EQ(b.bits, 0x03);
    set_forced(b, true);
    EXPECT_EQ(bytes_at(&b, 0, 2), (Bytes{0x0B, 0x00}));

    IntCell i{};
    set_cur(i, 0x11223344);
    set_prev(i, -2);
    set_forced(i, true);
    EXPECT_EQ(bytes_at(&i, 0, 12), (Bytes{0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0}));

    FloatCell f{};
    set_cur(f, 1.5f);    // 0x3FC00000
    set_prev(f, -2.0f);  // 0xC0000000
    set_forced(f, true);
    EXPECT_EQ(bytes_at(&f, 0, 12), (Bytes{0, 0, 0xC0, 0x3F, 0, 0, 0, 0xC0, 0x02, 0, 0, 0}));

    CharCell c{};
    set_cur(c, 0xC8);
    set_prev(c, 0x41);
    set_forced(c, true);
    EXPECT_EQ(bytes_at(&c, 0, 4), (Bytes{0xC8, 0x41, 0x02, 0x00}));
}

TEST(Layout, CellBytesReadBackThroughTheAccessors) {
    BoolCell b{};
    std::memcpy(&b, Bytes{0x0A, 0xFF}.data(), 2);  // prev and forced, not cur
    EXPECT_FALSE(cur(b));
    EXPECT_TRUE(prev(b));
    EXPECT_TRUE(forced(b));
    EXPECT_EQ(vx_bool_cur(&b), 0);

    IntCell i{};
    std::memcpy(&i, Bytes{0x44, 0x33, 0x22, 0x11, 0xFE, 0xFF, 0xFF, 0xFF, 0xFD, 0, 0, 0}.data(), 12);
    EXPECT_EQ(cur(i), 0x11223344);
    EXPECT_EQ(prev(i), -2);
    EXPECT_FALSE(forced(i));  // every bit of byte 8 but the flag

    FloatCell f{};
    std::memcpy(&f, Bytes{0, 0, 0xC0, 0x3F, 0, 0, 0, 0xC0, 0x02, 0, 0, 0}.data(), 12);
    EXPECT_EQ(cur(f), 1.5f);
    EXPECT_EQ(prev(f), -2.0f);
    EXPECT_TRUE(forced(f));

    CharCell c{};
    std::memcpy(&c, Bytes{0xC8, 0x41, 0x02, 0x00}.data(), 4);
    EXPECT_EQ(cur(c), 0xC8);
    EXPECT_EQ(prev(c), 0x41);
    EXPECT_TRUE(forced(c));
}

// Reserved bits belong to other processes: the value writers keep them.
TEST(Layout, ValueWritesKeepReservedBits) {
    BoolCell b{0xF4, 0x5A};  // reserved bits 2 and 4-7 set
    vx_bool_set_cur(&b, 1);
    EXPECT_EQ(b.bits, 0xF5);
    set_start_value(b, true);
    EXPECT_EQ(b.bits, 0xF7);
    set_forced(b, true);
    vx_bool_set_cur(&b, 0);
    EXPECT_EQ(b.bits, 0xFE);
    EXPECT_EQ(b.reserved, 0x5A);

    IntCell i{0, 0, 0xFD, {1, 2, 3}};
    set_forced(i, true);
    EXPECT_EQ(i.flags, 0xFF);
    set_forced(i, false);
    EXPECT_EQ(i.flags, 0xFD);
    EXPECT_EQ(bytes_at(&i, 9, 3), (Bytes{1, 2, 3}));
}

// ---- Layout of the areas ----

struct Worked {
    const char* controller;
    std::array<std::int32_t, kCellTypes> counts;
    std::array<std::uint32_t, kCellTypes> offsets;
    std::uint32_t space;
};
constexpr Worked kWorked[] = {
    {"tarvo", {28, 532, 17, 53}, {20292, 20352, 26736, 26940}, 27152},
    {"melki", {44, 537, 17, 53}, {20292, 20388, 26832, 27036}, 27248},
    {"melki_bis", {44, 536, 17, 53}, {20292, 20388, 26820, 27024}, 27236},
    {"sorel", {37, 535, 17, 53}, {20292, 20376, 26796, 27000}, 27212},
    {"sorel_bis", {39, 535, 17, 53}, {20292, 20376, 26796, 27000}, 27212},
    {"no cells", {0, 0, 0, 0}, {20292, 20292, 20292, 20292}, 20292},
};

TEST(Layout, FromCountsGivesTheControllersLayouts) {
    for (const auto& w : kWorked) {
        const auto layout = Layout::from_counts(w.counts);
        ASSERT_TRUE(layout) << w.controller;
        EXPECT_EQ(layout->count, w.counts) << w.controller;
        EXPECT_EQ(layout->offset, w.offsets) << w.controller;
        EXPECT_EQ(layout->space, w.space) << w.controller;
    }
}

TEST(Layout, FromCountsRefusesNegativeCountsAndBlocksBeyond32Bits) {
    EXPECT_FALSE(Layout::from_counts({-1, 532, 17, 53}));
    EXPECT_FALSE(Layout::from_counts({28, 532, 17, INT32_MIN}));
    EXPECT_FALSE(Layout::from_counts({INT32_MAX, 0, 0, 0}));
    EXPECT_FALSE(Layout::from_counts({0, 0, 0, INT32_MAX}));
    EXPECT_FALSE(Layout::from_counts({1 << 30, 1 << 30, 0, 0}));
}

// What another process finds in the header is trusted only when it is the
// layout of its own counts and fits in what was mapped.
TEST(Layout, FromHeaderAcceptsOnlyAConsistentLayoutThatFits) {
    const auto tarvo = *Layout::from_counts(kWorked[0].counts);
    auto h = zeroed_header();
    write_layout(*h, tarvo);
    EXPECT_EQ(Layout::from_header(*h, 27152), tarvo);
    EXPECT_FALSE(Layout::from_header(*h, 27151));
    EXPECT_FALSE(Layout::from_header(*h, sizeof(MemoryHeader)));

    const auto refused = [&](auto&& spoil) {
        auto spoiled = zeroed_header();
        write_layout(*spoiled, tarvo);
        spoil(*spoiled);
        return !Layout::from_header(*spoiled, 6000000);
    };
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.memBool = -28; }));
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.memChar = -1; }));
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.offBool = 20290; }));
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.offInt += 12; }));
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.offChar = -x.offChar; }));
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.memInt = 533; }));  // the offsets no longer follow
    EXPECT_TRUE(refused([](MemoryHeader& x) { x.memInt = INT32_MAX; }));
}

TEST(Layout, AlignRoundsUpToAMultiple) {
    struct Row {
        std::uint32_t value, unit, aligned;
    };
    constexpr Row kRows[] = {
        {20292, 2, 20292},
        {20348, 12, 20352},
        {20352, 12, 20352},
        {0, 12, 0},
        {1, 4, 4},
        {7, 1, 7},
        {5, 0, 5},                        // unit 0: nothing to round to
        {4294967292u, 4, 4294967292u},    // the largest multiple of 4
        {4294967290u, 4, 4294967292u},
        {4294967295u, 2, 0},              // beyond 32 bits: taken modulo 2^32
        {4294967295u, 4294967295u, 4294967295u},
    };
    for (const auto& r : kRows) EXPECT_EQ(align(r.value, r.unit), r.aligned) << r.value << " to " << r.unit;
}

TEST(Layout, BlockViewReachesOnlyCellsInsideTheirArea) {
    const auto layout = *Layout::from_counts({0, 3, 2, 1});
    std::vector<std::uint8_t> block(layout.space);
    auto* header = reinterpret_cast<MemoryHeader*>(block.data());
    const BlockView view(header, layout);
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(view.cell<IntCell>(0)), block.data() + layout.offset[1]);
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(view.cell<IntCell>(2)), block.data() + layout.offset[1] + 24);
    EXPECT_EQ(reinterpret_cast<std::uint8_t*>(view.cell<CharCell>(0)), block.data() + layout.offset[3]);
    EXPECT_EQ(view.cell<IntCell>(3), nullptr);
    EXPECT_EQ(view.cell<IntCell>(-1), nullptr);
    EXPECT_EQ(view.cell<BoolCell>(0), nullptr);
    EXPECT_EQ(view.cell<FloatCell>(std::int64_t{1} << 40), nullptr);
    EXPECT_EQ(BlockView().cell<IntCell>(0), nullptr);
}

}  // namespace
}  // namespace vx
