// A controller's variables by name, on any host that hands out cells by
// index: the linked controller in process, or a running program's block.
#pragma once

#include <set>
#include <string>
#include <utility>
#include <vector>

#include "symbol_file.hpp"
#include "vx/block.hpp"

namespace vx::controllers {

template <class Host> class NamedCells {
public:
    NamedCells(const Host& host, const SymbolFile& symbols) : host_(host), symbols_(symbols) {}

    bool on(const std::string& name) const { return cur(host_.b(index_of(symbols_, name))); }
    void set(const std::string& name, bool value) const { set_cur(host_.b(index_of(symbols_, name)), value); }
    bool active(int step) const { return on("X_" + std::to_string(step)); }
    std::int32_t timer(int step) const { return cur(host_.i(index_of(symbols_, "TIMER_" + std::to_string(step)))); }
    void set_timer(int step, std::int32_t value) const {
        set_cur(host_.i(index_of(symbols_, "TIMER_" + std::to_string(step))), value);
    }

    // The active steps, in the graph's order.
    std::vector<int> steps() const {
        std::vector<int> out;
        for (const Symbol& e : symbols_.symbols)
            if (e.role == Role::Step && cur(host_.b(e.index))) out.push_back(std::stoi(e.name.substr(2)));
        return out;
    }

    // Which of `outputs` are on, space-separated in the order given.
    std::string lights(const std::vector<std::string>& outputs) const {
        std::string out;
        for (const std::string& name : outputs) {
            if (!on(name)) continue;
            if (!out.empty()) out += ' ';
            out += name;
        }
        return out;
    }

    // Every output that is on, in declaration order.
    std::string lights() const {
        std::vector<std::string> outputs;
        for (const Symbol& e : symbols_.symbols)
            if (e.role == Role::Output) outputs.push_back(e.name);
        return lights(outputs);
    }

    void set_all_outputs(bool value) const {
        for (const Symbol& e : symbols_.symbols)
            if (e.role == Role::Output) set(e.name, value);
    }

private:
    const Host& host_;
    const SymbolFile& symbols_;
};

// A light shown for a number of consecutive passes.
using Shown = std::pair<std::string, int>;

// Appends what one pass shows to a list of runs.
inline void record(std::vector<Shown>& runs, const std::string& shown) {
    if (!runs.empty() && runs.back().first == shown) {
        ++runs.back().second;
    } else {
        runs.emplace_back(shown, 1);
    }
}

}  // namespace vx::controllers
