#include "vx/console/lights.hpp"

#include <array>
#include <string_view>

namespace vx::console {
namespace {

struct Lamp {
    std::string_view output;
    char letter;
    std::string_view colour;  // ANSI colour of the lit lamp
};

struct Head {
    std::string_view label;
    std::array<Lamp, 3> lamps;
    std::size_t count;  // pedestrian heads have two lamps
};

constexpr std::string_view kRed = "\x1b[1;31m";
constexpr std::string_view kAmber = "\x1b[1;33m";
constexpr std::string_view kGreen = "\x1b[1;32m";
constexpr std::string_view kDark = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";

constexpr std::array<Head, 5> kHeads{{
    {"vehicle", {{{"rouge", 'R', kRed}, {"orange", 'O', kAmber}, {"vert", 'G', kGreen}}}, 3},
    {"A", {{{"rougeA", 'R', kRed}, {"orangeA", 'O', kAmber}, {"vertA", 'G', kGreen}}}, 3},
    {"B", {{{"rougeB", 'R', kRed}, {"orangeB", 'O', kAmber}, {"vertB", 'G', kGreen}}}, 3},
    {"pedestrian", {{{"rouge_pieton", 'R', kRed}, {"vert_pieton", 'G', kGreen}, {}}}, 2},
    {"pedestrian A", {{{"rouge_pietonA", 'R', kRed}, {"vert_pietonA", 'G', kGreen}, {}}}, 2},
}};

}  // namespace

std::string draw_lights(const Session& session, bool colour) {
    const SymbolTable* symbols = session.symbols();
    if (symbols == nullptr) return {};
    std::string line;
    for (const auto& head : kHeads) {
        std::string drawn;
        bool complete = true;
        for (std::size_t i = 0; i < head.count && complete; ++i) {
            const Lamp& lamp = head.lamps[i];
            const Symbol* s = symbols->find(lamp.output);
            complete = s != nullptr && s->type == CellType::Bool;
            if (!complete) break;
            const BoolCell* cell = session.block().cell<BoolCell>(s->index);
            const bool lit = cell != nullptr && cur(*cell);
            if (i > 0) drawn += ' ';
            if (colour)
                drawn += std::string(lit ? lamp.colour : kDark) + (lit ? "\u25CF" : "\u25CB") + std::string(kReset);
            else
                drawn += lit ? lamp.letter : '.';
        }
        if (!complete) continue;
        line += (line.empty() ? "" : "  ") + std::string(head.label) + " [" + drawn + "]";
    }
    return line;
}

}  // namespace vx::console
