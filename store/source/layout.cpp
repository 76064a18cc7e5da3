#include <cstring>

#include "vx/runtime.hpp"

namespace vx {
namespace {

constexpr std::array<std::uint32_t, kCellTypes> kAreaAlignment{2, 12, 12, 4};
BlockView g_block;

}  // namespace

std::optional<Layout> Layout::from_counts(const std::array<std::int32_t, kCellTypes>& counts) {
    Layout layout;
    std::uint64_t end = VX_HEADER_SIZE;
    for (std::size_t area = 0; area < kCellTypes; ++area) {
        if (counts[area] < 0) return std::nullopt;
        const std::uint64_t start = align_up(static_cast<std::uint32_t>(end), kAreaAlignment[area]);
        end = start + std::uint64_t{kCellSize[area]} * static_cast<std::uint64_t>(counts[area]);
        if (end > INT32_MAX) return std::nullopt;  // offsets are int32 in the header
        layout.count[area] = counts[area];
        layout.offset[area] = static_cast<std::uint32_t>(start);
    }
    layout.space = static_cast<std::uint32_t>(end);
    return layout;
}

std::optional<Layout> Layout::from_header(const MemoryHeader& header, std::size_t mapped) {
    const std::array<std::int32_t, kCellTypes> counts{vx_load_i32(&header.memBool), vx_load_i32(&header.memInt),
                                                       vx_load_i32(&header.memFloat), vx_load_i32(&header.memChar)};
    const std::array<std::int32_t, kCellTypes> offsets{vx_load_i32(&header.offBool), vx_load_i32(&header.offInt),
                                                        vx_load_i32(&header.offFloat), vx_load_i32(&header.offChar)};
    auto layout = from_counts(counts);
    if (!layout || layout->space > mapped) return std::nullopt;
    for (std::size_t area = 0; area < kCellTypes; ++area) {
        if (offsets[area] < 0 || static_cast<std::uint32_t>(offsets[area]) != layout->offset[area]) return std::nullopt;
    }
    return layout;
}

void write_layout(MemoryHeader& header, const Layout& layout) {
    int32_t* counts[] = {&header.memBool, &header.memInt, &header.memFloat, &header.memChar};
    int32_t* offsets[] = {&header.offBool, &header.offInt, &header.offFloat, &header.offChar};
    for (std::size_t area = 0; area < kCellTypes; ++area) {
        vx_store_i32(counts[area], layout.count[area]);
        vx_store_i32(offsets[area], static_cast<std::int32_t>(layout.offset[area]));
    }
}

std::optional<std::int32_t> published_process_id(const MemoryHeader& header, std::size_t mapped) {
    const auto layout = Layout::from_header(header, mapped);
    if (!layout) return std::nullopt;
    // The header is writable by anyone: the layout was checked against the
    // mapping, and the cell is looked up through a view of it.
    const BlockView view(const_cast<MemoryHeader*>(&header), *layout);
    const IntCell* cell = view.cell<IntCell>(std::int64_t{layout->count[1]} - 3);
    if (cell == nullptr) return std::nullopt;
    return cur(*cell);
}

const BlockView& executive_block() { return g_block; }

void install_block(MemoryHeader* header, const Layout& layout) {
    write_layout(*header, layout);
    g_block = BlockView(header, layout);
}

void uninstall_block() { g_block = BlockView(); }

BlockView block_for(const MemoryHeader* header) {
    return header != nullptr && header == g_block.header() ? g_block : BlockView();
}

}  // namespace vx

extern "C" {

uint32_t align(uint32_t value, uint32_t unit) { return vx::align_up(value, unit); }

void initPointersValues(MemoryHeader* header, VX_Areas* areas) {
    const vx::BlockView block = vx::block_for(header);
    if (areas == nullptr) return;
    *areas = VX_Areas{block.area_start<BoolCell>(), block.area_start<IntCell>(), block.area_start<FloatCell>(),
                      block.area_start<CharCell>()};
}

}  // extern "C"
