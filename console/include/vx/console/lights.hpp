// The lights of a program, drawn from its output variables. Which outputs
// are lamps, of what colour and in which heads, the program's view file says
// (<program>.view beside its symbol file <program>.vars), one head a line:
//
//   # comment
//   vehicle: rouge red, orange orange, vert green
//   pedestrian: rouge_pieton red, vert_pieton green
//
// the head's label, a colon, then its lamps left to right, each a bool
// output and a colour (red, orange, yellow, green, blue, white). A program
// without a view file has no lights.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx::console {

class Session;

struct Lamp {
    std::string output;
    std::size_t colour = 0;  // in the table of colours
};

struct LightHead {
    std::string label;
    std::vector<Lamp> lamps;
};

using LightsView = std::vector<LightHead>;

// The heads of a view file's text; a Failure naming `origin` and the line
// for a line that is not a head.
LightsView parse_lights_view(std::string_view text, const std::string& origin);

// The view file that goes with a symbol file: ".vars" replaced by ".view".
std::string view_file_for(const std::string& symbol_file);

// The view in `path`; none when there is no such file, a Failure when it
// cannot be read or is not a view.
std::optional<LightsView> load_lights_view(const std::string& path);

// One line such as "vehicle [R . .]  pedestrian [. G]" (lit lamps by their
// colour's letter, dark ones as '.'), or with colour lit lamps as coloured
// discs. A head is drawn when the symbol file names each of its lamps as a
// bool variable. Empty when the session has no view or no symbols.
std::string draw_lights(const Session& session, bool colour);

}  // namespace vx::console
