// The graph file beside each controller program (<program>.graph.json): the
// structure of its Grafcet for tools that draw it (the web view). The
// generator writes it; the program never reads it.
//
//   {"program": "tarvo", "unit": "unitA",
//    "components": ["pedestrian", "vehicle"],
//    "steps": [{"number": 11, "component": 0, "initial": false,
//               "actions": ["rouge_pieton"], "variable": "X_11"}, ...],
//    "transitions": [{"component": 0, "from": 11, "to": 12,
//                     "receptivity": "t(X_23) >= 1 s & not t(X_23) >= 2 s"}, ...]}
//
// Steps in the graph's order, transitions in evaluation order; a receptivity
// as the description writes it; "variable" names the step's activity in the
// symbol file.
#pragma once

#include <string>
#include <string_view>

#include "vx/grafcet/codegen.hpp"
#include "vx/grafcet/graph.hpp"

namespace vx::grafcet {

// `text` as a JSON string, quotes included: control characters escaped,
// UTF-8 kept, and in text that is not UTF-8 every byte above 0x7f escaped as
// the character of that code, so that the file is JSON whatever a
// description holds.
std::string json_string(std::string_view text);

// The graph file of `graph`, named <graph>.graph.json.
GeneratedFile generate_graph_file(const Graph& graph);

}  // namespace vx::grafcet
