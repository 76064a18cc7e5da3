// Tests address a controller's cells by name, through the symbol file that
// the build writes beside the program, as the console does.
#pragma once

#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx::controllers {

struct SymbolEntry {
    std::string name;
    char type = 0;  // B, I, F or C
    std::int32_t index = 0;
    std::string role;
};

class SymbolFile {
public:
    // Reads `path`; throws std::runtime_error on a file that does not follow
    // the format.
    static SymbolFile load(const std::string& path) {
        std::ifstream in(path);
        if (!in) throw std::runtime_error("cannot read " + path);
        SymbolFile file;
        std::string line;
        int number = 0;
        while (std::getline(in, line)) {
            ++number;
            std::istringstream words(line);
            std::string first;
            if (!(words >> first) || first.front() == '#') continue;
            const auto fail = [&] { throw std::runtime_error(path + ":" + std::to_string(number) + ": " + line); };
            if (first == "program") {
                if (!(words >> file.program_)) fail();
            } else if (first == "counts") {
                for (auto& c : file.counts_)
                    if (!(words >> c)) fail();
            } else {
                SymbolEntry e{first, 0, 0, ""};
                if (!(words >> e.type >> e.index >> e.role)) fail();
                file.entries_.push_back(e);
            }
        }
        return file;
    }

    const std::string& program() const { return program_; }
    const std::array<std::int32_t, 4>& counts() const { return counts_; }
    const std::vector<SymbolEntry>& entries() const { return entries_; }

    const SymbolEntry& at(const std::string& name) const {
        for (const SymbolEntry& e : entries_)
            if (e.name == name) return e;
        throw std::out_of_range("no symbol " + name);
    }
    std::int32_t index(const std::string& name) const { return at(name).index; }

private:
    std::string program_;
    std::array<std::int32_t, 4> counts_{};
    std::vector<SymbolEntry> entries_;
};

}  // namespace vx::controllers
