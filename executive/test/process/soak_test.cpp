// The soak: a real controller program runs while another process writes
// random values into random cells and header fields of its block, as a
// faulty simulator or debugger could. The program must not crash, must not
// write outside its areas, must keep answering the status protocol, and
// must end cleanly on END. VX_SOAK_SECONDS sets the length (default 20 s);
// a failure prints the seed, and VX_SOAK_SEED replays it.
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <climits>
#include <cstring>
#include <limits>
#include <random>

#include "fixture.hpp"

namespace vx::testing {
namespace {

constexpr std::uint8_t kCanary = 0xA5;

int soak_seconds() {
    const char* value = std::getenv("VX_SOAK_SECONDS");
    return value != nullptr ? std::max(1, std::atoi(value)) : 20;
}

std::uint32_t soak_seed() {
    const char* value = std::getenv("VX_SOAK_SEED");
    return value != nullptr ? static_cast<std::uint32_t>(std::strtoul(value, nullptr, 10)) : std::random_device{}();
}

// The values that break careless code, and some that do not.
std::int32_t nasty_int(std::mt19937& rng, std::int32_t count) {
    const std::array<std::int32_t, 9> values{0, 1, -1, INT32_MIN, INT32_MAX, count - 1, count, count + 1,
                                             static_cast<std::int32_t>(rng())};
    return values[rng() % values.size()];
}

float nasty_period(std::mt19937& rng) {
    // No long finite periods: the program sleeps them out, as it should.
    const std::array<float, 6> values{0.0f, -5000.0f, std::numeric_limits<float>::quiet_NaN(),
                                      std::numeric_limits<float>::infinity(), 1500.5f,
                                      static_cast<float>(rng() % 20000)};
    return values[rng() % values.size()];
}

// One random write, the way another process would make it: whole fields.
void scribble(const BlockView& view, std::mt19937& rng) {
    const auto count = [&](CellType t) { return view.count(t); };
    const auto pick = [&](CellType t) { return static_cast<std::int32_t>(rng() % static_cast<std::uint32_t>(count(t))); };
    auto* words = reinterpret_cast<std::int32_t*>(view.header());
    switch (rng() % 9) {
        case 0:  // any header word: block size, reserved, lists, counts, offsets
            vx_store_i32(&words[rng() % (sizeof(MemoryHeader) / 4)], nasty_int(rng, count(CellType::Int)));
            break;
        case 1: {  // an entry of a trace or watch list
            IndexList* lists[] = {&view.header()->traceBool, &view.header()->traceInt, &view.header()->traceFloat,
                                  &view.header()->traceChar, &view.header()->watchBool};
            const auto type = static_cast<CellType>(rng() % 4);
            vx_store_i32(&lists[rng() % 5]->entry[rng() % 8], nasty_int(rng, count(type)));
            break;
        }
        case 2:
            vx_store_u8(&view.cell<BoolCell>(pick(CellType::Bool))->bits, static_cast<std::uint8_t>(rng()));
            break;
        case 3: {
            const std::int32_t index = pick(CellType::Int);
            if (index == 311) break;  // the status has its own case
            IntCell& c = *view.cell<IntCell>(index);
            set_cur(c, nasty_int(rng, count(CellType::Int)));
            set_prev(c, nasty_int(rng, count(CellType::Int)));
            vx_store_u8(&c.flags, static_cast<std::uint8_t>(rng()));
            break;
        }
        case 4: {
            const std::int32_t index = pick(CellType::Float);
            if (index == 10) break;  // the period has its own case
            const std::uint32_t bits = rng();
            float value;
            std::memcpy(&value, &bits, sizeof value);
            set_cur(*view.cell<FloatCell>(index), value);  // NaNs and infinities included
            break;
        }
        case 5:
            set_cur(*view.cell<CharCell>(pick(CellType::Char)), static_cast<std::uint8_t>(rng()));
            break;
        case 6: {  // any status but END, which would end the soak
            const std::array<std::int32_t, 7> statuses{FREE, STOP, RUN, STEP, PAUSE, 7, -1};
            set_cur(*view.cell<IntCell>(311), statuses[rng() % statuses.size()]);
            break;
        }
        case 7:
            set_cur(*view.cell<FloatCell>(10), nasty_period(rng));
            break;
        default:  // breakpoint count and cells
            set_cur(*view.cell<IntCell>(312 + static_cast<std::int32_t>(rng() % 210)), nasty_int(rng, 200));
            break;
    }
}

// The writer: a child process that scribbles until it is killed.
pid_t start_writer(const BlockView& view, std::uint32_t seed) {
    const pid_t child = ::fork();
    if (child != 0) return child;
    std::mt19937 rng(seed);
    for (std::uint64_t k = 0;; ++k) {
        scribble(view, rng);
        if (k % 64 == 0) ::usleep(100);
    }
}

TEST(Soak, RandomWritesIntoTheBlockNeitherCrashNorSilenceTheProgram) {
    const std::uint32_t seed = soak_seed();
    SCOPED_TRACE("VX_SOAK_SEED=" + std::to_string(seed));
    ProgramOptions options;
    options.executable = VX_SOAK_PROGRAM;
    options.name = "tarvo";
    auto p = started(options);
    const BlockView& view = p->block();
    auto* bytes = reinterpret_cast<std::uint8_t*>(view.header());
    const std::size_t space = view.layout().space;
    const auto size = static_cast<std::size_t>(vx_load_i32(&view.header()->blockSize));
    ASSERT_GT(size, space);
    std::memset(bytes + space, kCanary, size - space);  // beyond the areas: nobody's
    p->set_period(2000);
    p->set_status(RUN);

    const pid_t writer = start_writer(view, seed);
    ASSERT_GT(writer, 0);
    const auto end_at = std::chrono::steady_clock::now() + std::chrono::seconds(soak_seconds());
    int checks = 0;
    while (std::chrono::steady_clock::now() < end_at) {
        std::this_thread::sleep_for(1s);
        // The protocol, with the writer held still: STOP is taken and
        // reported, STEP runs one cycle, RUN lets the program go again.
        ::kill(writer, SIGSTOP);
        ASSERT_TRUE(p->running()) << p->out() << p->err();
        p->set_period(2000);
        p->set_status(STOP);
        ASSERT_TRUE(eventually([&] { return prev(p->i(311)) == STOP; }, 5s)) << "STOP not taken";
        ASSERT_TRUE(p->step(5s)) << "STEP not taken";
        p->set_status(RUN);
        ++checks;
        ::kill(writer, SIGCONT);
    }
    ::kill(writer, SIGKILL);
    ::waitpid(writer, nullptr, 0);

    p->set_period(2000);
    const std::optional<int> status = end(*p);
    EXPECT_EQ(status, 0) << p->err();
    EXPECT_GE(checks, 1);
    EXPECT_EQ(cur(p->i(view.count(CellType::Int) - 3)), 0);  // process id cleared
    EXPECT_EQ(p->status(), FREE);
    const bool untouched = std::all_of(bytes + space, bytes + size, [](std::uint8_t b) { return b == kCanary; });
    EXPECT_TRUE(untouched) << "the program wrote beyond its areas";
    EXPECT_EQ(p->err().find("runtime error"), std::string::npos) << p->err();
}

}  // namespace
}  // namespace vx::testing
