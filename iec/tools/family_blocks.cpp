// The function-block entries, from tables/blocks.def.
#include <algorithm>
#include <string>

#include "entries.hpp"

namespace iecgen {
namespace {

// "function(constants, parameters...)"
std::string with_constants(const std::string& function, const std::string& constants, const std::vector<Param>& params) {
    std::string call = call_with(function, params);
    return function + "(" + constants + (params.empty() ? "" : ", ") + call.substr(function.size() + 1);
}

void add_unit_timer(Family& f, std::string_view block, std::string_view unit, long divisor, int code,
                    std::string_view third) {
    const std::string b(block);
    const auto params = parse_params("bool IN, dint PT, i32_var cycle_mark, real_var elapsed, i32_var " + std::string(third));
    const std::string constants = "iec::Timer::" + b + ", " + std::to_string(divisor) + ", " + std::to_string(code);
    const std::string stem = b + "_" + std::string(unit);
    f.entries.push_back({"bool", stem + "_Q", params, with_constants("iec::unit_timer_Q", constants, params)});
    f.entries.push_back({"dint", stem + "_CV", params, with_constants("iec::unit_timer_CV", constants, params)});
}

// `instance`: "(i32_var cycle_mark)" and the like, as the table writes it.
void add_time_timer(Family& f, std::string_view block, int code, std::string_view instance) {
    const std::string b(block);
    const auto params = parse_params("bool IN, time PT, time_var CV, " + std::string(instance.substr(1, instance.size() - 2)));
    // The TOF, the timer that keeps `running`, runs on its own.
    const bool tof = std::any_of(params.begin(), params.end(), [](const Param& p) { return p.name == "running"; });
    const std::string constants = tof ? std::to_string(code) : "iec::Timer::" + b + ", " + std::to_string(code);
    const std::string stem = tof ? "iec::tof_" : "iec::time_timer_";
    f.entries.push_back({"bool", b + "_Q", params, with_constants(stem + "Q", constants, params)});
    f.entries.push_back({"time", b + "_CV", params, with_constants(stem + "CV", constants, params)});
}

}  // namespace

Family blocks() {
    Family f{"Function blocks: edge detectors, bistables, counters, timers", {}};
#define IEC_FUNCTION(result, name, params) f.entries.push_back(plain(#result, #name, #params));
#define IEC_UNIT_TIMER(block, unit, divisor, code, third) add_unit_timer(f, #block, #unit, divisor, code, #third);
#define IEC_TIME_TIMER(block, code, instance) add_time_timer(f, #block, code, #instance);
#include "blocks.def"
#undef IEC_FUNCTION
#undef IEC_UNIT_TIMER
#undef IEC_TIME_TIMER
    return f;
}

}  // namespace iecgen
