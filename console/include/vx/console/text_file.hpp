// Reading a whole text file the user named.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

#include "vx/console/error.hpp"

namespace vx::console {

// The file's text; a Failure "cannot read the <what> <path>" otherwise.
inline std::string read_text_file(const std::string& path, const std::string& what) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw Failure("cannot read the " + what + " " + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace vx::console
