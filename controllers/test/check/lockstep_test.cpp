// The checker's pass against the generated program it stands for: the
// program linked into this executable and the checker's model of its
// description (VX_DESCRIPTION) take the same random inputs, pass after pass,
// and every step, previous activity, timer, output and function-block
// output of the program must read as the model says (timers and counters
// clamped where the model caps them). The plant's cells that the controller
// reads are inputs here, as with a free plant.
#include <algorithm>
#include <random>

#include "controller_test.hpp"
#include "vx/grafcet/check.hpp"
#include "vx/grafcet/description.hpp"
#include "vx/testing/program.hpp"
#include "vx_runtime.h"

namespace vx::controllers {
namespace {

// One run in phases: inputs that change often, then seldom enough for the
// step times and the blocks' timers to run out, then in between. One run
// only: the generated blocks keep their memories in statics, which a
// second start of the controller in the same process would inherit.
struct Phase {
    double change;  // chance that an input changes at a pass
    int passes;
};
constexpr Phase kPhases[] = {{0.3, 400}, {0.02, 3000}, {0.005, 6000}, {0.1, 1500}, {0.5, 300}};

class Lockstep : public ControllerTest {
protected:
    grafcet::PassModel model() const {
        const auto parsed = grafcet::parse_description(testing::read_file(VX_DESCRIPTION), VX_DESCRIPTION);
        if (!parsed.graph) throw std::runtime_error("the description does not parse");
        grafcet::ModelOptions options;
        options.free_plant = true;
        std::string error;
        auto m = grafcet::PassModel::build(*parsed.graph, options, error);
        if (!m) throw std::runtime_error(error);
        return std::move(*m);
    }

    void write(const grafcet::FreeInput& in, double value) const {
        switch (in.type) {
            case CellType::Bool: set_cur(ctl().b(in.cell), value != 0.0); break;
            case CellType::Int: set_cur(ctl().i(in.cell), static_cast<std::int32_t>(value)); break;
            case CellType::Float: set_cur(ctl().f(in.cell), static_cast<float>(value)); break;
            case CellType::Char: set_cur(ctl().c(in.cell), static_cast<std::uint8_t>(value)); break;
        }
    }

    std::int64_t read(const grafcet::Probe& p) const {
        if (p.type == CellType::Bool) return cur(ctl().b(p.cell)) ? 1 : 0;
        if (p.time) return std::int64_t{cur(ctl().i(p.cell + 2))} * 864000000 + cur(ctl().i(p.cell + 3));
        const std::int32_t v = cur(ctl().i(p.cell));
        // A step timer counts as unsigned.
        return p.name.starts_with("TIMER_") ? std::int64_t{static_cast<std::uint32_t>(v)} : std::int64_t{v};
    }
};

TEST_F(Lockstep, TheModelsPassIsTheProgramsPass) {
    const grafcet::PassModel m = model();
    std::mt19937 random(7);
    std::vector<std::int32_t> choice(m.inputs().size(), 0);
    grafcet::PassModel::State state = m.initial();
    int pass = 0;
    for (const Phase& phase : kPhases) {
        std::bernoulli_distribution change(phase.change);
        for (int k = 0; k < phase.passes; ++k) {
            ++pass;
            for (std::size_t i = 0; i < choice.size(); ++i) {
                if (!change(random)) continue;
                const auto classes = static_cast<std::int32_t>(m.inputs()[i].values.size());
                choice[i] = std::uniform_int_distribution<std::int32_t>(0, classes - 1)(random);
            }
            for (std::size_t i = 0; i < choice.size(); ++i)
                write(m.inputs()[i], m.inputs()[i].values[static_cast<std::size_t>(choice[i])]);
            ASSERT_EQ(ctl().evolve(), 0);
            // The executive counts the cycle after the pass; the library's
            // timers and counters tell one cycle from the next by it.
            set_cur(ctl().i(posmxsimucounter), cur(ctl().i(posmxsimucounter)) + 1);
            state = m.pass(state, choice);
            for (const grafcet::Probe& p : m.probes()) {
                if (p.shown_while && state[*p.shown_while] == 0) continue;
                const std::int64_t program = std::clamp(read(p), p.low, p.high);
                ASSERT_EQ(program, state[p.slot]) << p.name << " after pass " << pass;
            }
        }
    }
}

}  // namespace
}  // namespace vx::controllers
