// The controller description: the text a user writes to define a controller,
// one declaration per line ('#' starts a comment):
//
//   graph <name>                        the graph; names the program
//   unit <name>                         the program unit
//   signature <number>                  optional, default 2147483647
//   generation-time <seconds>           optional, default 0
//   input <name>...                     bool inputs, in declaration order
//   output <name>...                    bool outputs, in declaration order
//   component <name>                    starts a component; the steps and
//                                       transitions below belong to it
//   step <n> [initial] [action <output>...]
//   transition <n> -> <m> when <receptivity>
//
// controllers/README.md describes the format for users.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vx/grafcet/graph.hpp"

namespace vx::grafcet {

// One error in a description, at a line of its file.
struct Diagnostic {
    std::string file;
    int line = 0;
    std::string message;

    // "<file>:<line>: error: <message>"
    std::string text() const;
};

struct ParsedDescription {
    std::optional<Graph> graph;       // set when the description is sound
    std::vector<Diagnostic> errors;   // every error found, in line order
};

// Reads a description and checks everything the generator relies on: names,
// references, components and the structures that the evolution rule defines.
// `file` only names the text in the errors.
ParsedDescription parse_description(std::string_view text, std::string_view file);

// Reads a whole file (a description, a scenario) into `text`; false when it
// cannot be opened or read, with errno saying why.
bool read_text_file(const std::string& path, std::string& text);

}  // namespace vx::grafcet
