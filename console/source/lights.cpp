#include "vx/console/lights.hpp"

#include <array>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "vx/console/error.hpp"
#include "vx/console/session.hpp"

namespace vx::console {
namespace {

struct Colour {
    std::string_view name;
    char letter;
    std::string_view ansi;  // of the lit lamp
};

constexpr std::array<Colour, 6> kColours{{
    {"red", 'R', "\x1b[1;31m"},
    {"orange", 'O', "\x1b[1;33m"},
    {"yellow", 'Y', "\x1b[1;93m"},
    {"green", 'G', "\x1b[1;32m"},
    {"blue", 'B', "\x1b[1;34m"},
    {"white", 'W', "\x1b[1;97m"},
}};
constexpr std::string_view kDark = "\x1b[2m";
constexpr std::string_view kReset = "\x1b[0m";

std::string_view trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "output colour"; none when it is not two words or the colour is unknown.
std::optional<Lamp> parse_lamp(std::string_view text) {
    text = trimmed(text);
    const auto space = text.find_first_of(" \t");
    if (space == std::string_view::npos) return std::nullopt;
    const std::string_view output = text.substr(0, space);
    const std::string_view colour = trimmed(text.substr(space));
    for (std::size_t k = 0; k < kColours.size(); ++k) {
        if (kColours[k].name == colour) return Lamp{std::string(output), k};
    }
    return std::nullopt;
}

std::optional<LightHead> parse_head(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return std::nullopt;
    LightHead head{std::string(trimmed(line.substr(0, colon))), {}};
    if (head.label.empty()) return std::nullopt;
    std::string_view rest = line.substr(colon + 1);
    while (true) {
        const auto comma = rest.find(',');
        const auto lamp = parse_lamp(rest.substr(0, comma));
        if (!lamp) return std::nullopt;
        head.lamps.push_back(*lamp);
        if (comma == std::string_view::npos) return head;
        rest = rest.substr(comma + 1);
    }
}

}  // namespace

LightsView parse_lights_view(std::string_view text, const std::string& origin) {
    LightsView view;
    int number = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        const std::string_view line = trimmed(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++number;
        if (line.empty() || line.front() == '#') continue;
        const auto head = parse_head(line);
        if (!head)
            throw Failure(origin + ":" + std::to_string(number) +
                          ": not a light head (label: output colour, output colour...; colours red, orange, "
                          "yellow, green, blue, white)");
        view.push_back(*head);
    }
    return view;
}

std::string view_file_for(const std::string& symbol_file) {
    constexpr std::string_view kVars = ".vars";
    if (symbol_file.ends_with(kVars)) return symbol_file.substr(0, symbol_file.size() - kVars.size()) + ".view";
    return symbol_file + ".view";
}

std::optional<LightsView> load_lights_view(const std::string& path) {
    if (!std::filesystem::exists(path)) return std::nullopt;
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) throw Failure("cannot read the view file " + path);
    return parse_lights_view(text.str(), path);
}

std::string draw_lights(const Session& session, bool colour) {
    const SymbolTable* symbols = session.symbols();
    if (symbols == nullptr) return {};
    std::string line;
    for (const LightHead& head : session.lights()) {
        std::string drawn;
        bool complete = true;
        for (std::size_t i = 0; i < head.lamps.size() && complete; ++i) {
            const Lamp& lamp = head.lamps[i];
            const Colour& c = kColours[lamp.colour];
            const Symbol* s = symbols->find(lamp.output);
            complete = s != nullptr && s->type == CellType::Bool;
            if (!complete) break;
            const BoolCell* cell = session.block().cell<BoolCell>(s->index);
            const bool lit = cell != nullptr && cur(*cell);
            if (i > 0) drawn += ' ';
            if (colour)
                drawn += std::string(lit ? c.ansi : kDark) + (lit ? "\u25CF" : "\u25CB") + std::string(kReset);
            else
                drawn += lit ? c.letter : '.';
        }
        if (!complete) continue;
        line += (line.empty() ? "" : "  ") + head.label + " [" + drawn + "]";
    }
    return line;
}

}  // namespace vx::console
