// Turning a checked graph into the controller's plain C modules and its
// symbol file.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vx/grafcet/graph.hpp"
#include "vx/grafcet/layout.hpp"
#include "vx/grafcet/symbol_file.hpp"

namespace vx::grafcet {

struct GeneratedFile {
    std::string name;  // file name, without a directory
    std::string text;
};

// The four files of a controller, for graph g:
//   g.h       the graph module's declarations: pointer globals, graph functions
//   g.c       the graph module: the initialisation and the evolution pass
//   g_init.c  the glue the runtime calls: sizes, cursors, start values
//   g_sign.c  signature and generation time
// `description` names the description in the files' headers.
std::vector<GeneratedFile> generate_modules(const Graph& graph, const GraphLayout& layout,
                                            std::string_view description);

// The symbol file g.vars: every named cell with its type, index and role.
GeneratedFile generate_symbols(const Graph& graph, const GraphLayout& layout);

}  // namespace vx::grafcet
