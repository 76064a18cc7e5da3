// Function blocks run cycle by cycle: each row gives the inputs of every
// cycle and the outputs expected in it. Every cycle calls the _Q entry and
// then the _CV entry of the same instance, so a second call in a cycle is
// seen not to advance the block.
#include <functional>
#include <string>
#include <vector>

#include "iec_fixture.hpp"

namespace iec::testing {
namespace {

bool bit(const char* s, std::size_t i) { return s[i] == '1'; }

// ---- Edge detectors and bistables ------------------------------------------------

TEST_F(IecTest, EdgeDetectorsAndBistables) {
    using Block = std::function<std::uint8_t(std::uint8_t, std::uint8_t, std::int16_t*)>;
    struct Row {
        const char* what;
        Block block;
        const char* a;  // CLK, or the first input
        const char* b;  // the second input
        const char* q;
    };
    const Row kRows[] = {
        {"r_trig", [](auto clk, auto, auto* s) { return r_trig_Q(clk, s); }, "11011", "00000", "10010"},
        {"r_trig of 2", [](auto clk, auto, auto* s) { return r_trig_Q(clk ? 2 : 0, s); }, "1101", "0000", "1001"},
        {"f_trig", [](auto clk, auto, auto* s) { return f_trig_Q(clk, s); }, "01101", "00000", "00010"},
        {"rs reset dominant", [](auto s, auto r, auto* q) { return rs_Q1(s, r, q); }, "10101", "00110", "11001"},
        {"sr set dominant", [](auto s, auto r, auto* q) { return sr_Q1(s, r, q); }, "10100", "01110", "10100"},
    };
    for (const Row& r : kRows) {
        std::int16_t state = 0;
        for (std::size_t i = 0; r.q[i]; ++i) {
            EXPECT_EQ(r.block(bit(r.a, i), bit(r.b, i), &state), bit(r.q, i) ? 1 : 0) << r.what << " cycle " << i;
        }
    }
}

// ---- Counters -----------------------------------------------------------------------

struct CounterStep {
    bool new_cycle;
    std::uint8_t cu, cd, r, ld;
    std::int16_t pv;
    std::int16_t cv;  // expected after the step
    bool q;           // QU for CTUD
};

void run_counter(IecTest& t, const char* what, std::int16_t start,
                 const std::function<bool(const CounterStep&, std::int16_t*, std::int16_t*)>& block,
                 const std::vector<CounterStep>& steps, const std::function<void()>& next_cycle) {
    std::int16_t cv = start, mark = 0;
    (void)t;
    for (std::size_t i = 0; i < steps.size(); ++i) {
        if (steps[i].new_cycle) next_cycle();
        EXPECT_EQ(block(steps[i], &cv, &mark), steps[i].q) << what << " step " << i;
        EXPECT_EQ(cv, steps[i].cv) << what << " step " << i;
    }
}

TEST_F(IecTest, CountersCountOncePerCycleWhileTheirInputIsTrue) {
    const auto ctu = [](const CounterStep& s, std::int16_t* cv, std::int16_t* m) {
        const bool q = ctu_Q(s.cu, s.r, s.pv, cv, m);
        EXPECT_EQ(ctu_CV(s.cu, s.r, s.pv, cv, m), *cv);
        return q;
    };
    const auto ctd = [](const CounterStep& s, std::int16_t* cv, std::int16_t* m) {
        const bool q = ctd_Q(s.cd, s.ld, s.pv, cv, m);
        EXPECT_EQ(ctd_CV(s.cd, s.ld, s.pv, cv, m), *cv);
        return q;
    };
    const auto ctud = [](const CounterStep& s, std::int16_t* cv, std::int16_t* m) {
        const bool q = ctud_QU(s.cu, s.cd, s.r, s.ld, s.pv, cv, m);
        EXPECT_EQ(ctud_QD(s.cu, s.cd, s.r, s.ld, s.pv, cv, m), *cv <= 0 ? 1 : 0);
        EXPECT_EQ(ctud_CV(s.cu, s.cd, s.r, s.ld, s.pv, cv, m), *cv);
        return q;
    };
    const auto next = [this] { next_cycle(); };
    //                        cycle  CU CD R  LD PV  CV      Q
    run_counter(*this, "ctu", 0, ctu, {{true, 1, 0, 0, 0, 2, 1, false},
                                       {false, 1, 0, 0, 0, 2, 1, false},  // same cycle: no second count
                                       {true, 1, 0, 0, 0, 2, 2, true},
                                       {true, 0, 0, 0, 0, 2, 2, true},
                                       {true, 1, 0, 0, 0, 2, 3, true},
                                       {true, 1, 0, 1, 0, 2, 0, false}}, next);
    run_counter(*this, "ctu at its top", 32767, ctu, {{true, 1, 0, 0, 0, 5, 32767, true}}, next);
    run_counter(*this, "ctd", 0, ctd, {{true, 0, 0, 0, 1, 2, 2, false},
                                       {true, 0, 1, 0, 0, 2, 1, false},
                                       {false, 0, 1, 0, 0, 2, 1, false},
                                       {true, 0, 1, 0, 0, 2, 0, true},
                                       {true, 0, 1, 0, 0, 2, -1, true}}, next);
    run_counter(*this, "ctd at its bottom", -32768, ctd, {{true, 0, 1, 0, 0, 0, -32768, true}}, next);
    run_counter(*this, "ctud", 0, ctud, {{true, 1, 0, 0, 0, 2, 1, false},
                                         {true, 1, 1, 0, 0, 2, 1, false},  // both inputs: no change
                                         {true, 1, 0, 0, 0, 2, 2, true},
                                         {false, 1, 0, 0, 0, 2, 2, true},
                                         {true, 0, 1, 0, 0, 2, 1, false},
                                         {true, 1, 0, 1, 1, 2, 0, false},  // R wins over LD
                                         {true, 1, 0, 0, 1, 7, 7, true},   // LD wins over counting
                                         {true, 0, 0, 0, 0, 7, 7, true}}, next);
    run_counter(*this, "ctud at its bounds", 32767, ctud, {{true, 1, 0, 0, 0, 0, 32767, true}}, next);
}

TEST_F(IecTest, BlocksKeepAdvancingAcrossTheCounterWrap) {
    std::int16_t cv = 0, mark = 0;
    std::int32_t tmark = 0, tcv = 0;
    float elapsed = 0;
    set_period(40000);
    set_counter(INT32_MAX - 1);
    for (int cycle = 1; cycle <= 4; ++cycle) {
        next_cycle();  // INT32_MAX, 0, 1, 2
        EXPECT_EQ(ctu_CV(1, 0, 10, &cv, &mark), cycle);
        EXPECT_EQ(ton_ms_CV(1, 1000, &tmark, &elapsed, &tcv), 40 * cycle);
    }
}

// ---- Unit timers -----------------------------------------------------------------------

using UnitEntry = std::uint8_t (*)(std::uint8_t, std::int32_t, std::int32_t*, float*, std::int32_t*);
using UnitCv = std::int32_t (*)(std::uint8_t, std::int32_t, std::int32_t*, float*, std::int32_t*);

struct UnitRow {
    const char* what;
    UnitEntry q;
    UnitCv cv;
    std::int32_t pt;
    float period;
    const char* in;
    const char* expected_q;
    std::vector<std::int32_t> expected_cv;
    std::int32_t error = 0;
};

TEST_F(IecTest, UnitTimers) {
    const UnitRow kRows[] = {
        {"ton 100 ms at 40 ms", ton_ms_Q, ton_ms_CV, 100, 40000, "11110", "00110", {40, 80, 100, 100, 0}},
        {"ton 1 s at 250 ms", ton_sec_Q, ton_sec_CV, 1, 250000, "1111", "0001", {0, 0, 0, 1}},
        {"ton 5 cs at 20 ms", ton_cs_Q, ton_cs_CV, 5, 20000, "111", "001", {2, 4, 5}},
        {"ton 0 follows IN", ton_ms_Q, ton_ms_CV, 0, 40000, "101", "101", {0, 0, 0}},
        {"tp 100 ms at 40 ms", tp_ms_Q, tp_ms_CV, 100, 40000, "111101", "111001", {40, 80, 100, 100, 0, 40}},
        {"tp runs on after IN falls", tp_ms_Q, tp_ms_CV, 100, 40000, "10000", "11100", {40, 80, 0, 0, 0}},
        {"tp 2 s at 1 s", tp_sec_Q, tp_sec_CV, 2, 1000000, "111", "110", {1, 2, 2}},
        {"tof 100 ms at 40 ms", tof_ms_Q, tof_ms_CV, 100, 40000, "1000011", "1110011", {0, 40, 80, 100, 100, 0, 0}},
        {"tof 0 follows IN", tof_ms_Q, tof_ms_CV, 0, 40000, "1010", "1010", {0, 0, 0, 0}},
        {"tof 3 cs at 10 ms", tof_cs_Q, tof_cs_CV, 3, 10000, "10000", "11110", {0, 1, 2, 3, 3}},
        {"tp preset too large", tp_sec_Q, tp_sec_CV, 40000, 40000, "1", "0", {0}, 1086},
        {"ton negative preset", ton_ms_Q, ton_ms_CV, -1, 40000, "1", "0", {0}, 1081},
        {"tof preset too large", tof_cs_Q, tof_cs_CV, 32768, 40000, "1", "0", {0}, 1076},
    };
    for (const UnitRow& r : kRows) {
        std::int32_t mark = 0, third = 0;
        float elapsed = 0;
        for (std::size_t i = 0; r.in[i]; ++i) {
            next_cycle();
            set_period(r.period);
            EXPECT_EQ(r.q(bit(r.in, i), r.pt, &mark, &elapsed, &third), bit(r.expected_q, i) ? 1 : 0)
                << r.what << " cycle " << i;
            EXPECT_EQ(LIBFB_ERR, r.error) << r.what;
            EXPECT_EQ(r.cv(bit(r.in, i), r.pt, &mark, &elapsed, &third), r.expected_cv[i]) << r.what << " cycle " << i;
            EXPECT_EQ(LIBFB_ERR, r.error) << r.what;
        }
    }
}

TEST_F(IecTest, UnitTimerPresetChangesWhileRunning) {
    std::int32_t mark = 0, cv = 0;
    float elapsed = 0;
    set_period(40000);
    for (int i = 0; i < 5; ++i) {
        next_cycle();
        ton_ms_Q(1, 100, &mark, &elapsed, &cv);
    }
    EXPECT_EQ(cv, 100);
    // Raising PT: CV jumps to the time elapsed since IN rose (240 ms).
    next_cycle();
    EXPECT_EQ(ton_ms_Q(1, 1000, &mark, &elapsed, &cv), 0);
    EXPECT_EQ(cv, 240);
    // Lowering it below CV: CV is limited to it and Q is TRUE.
    next_cycle();
    EXPECT_EQ(ton_ms_Q(1, 50, &mark, &elapsed, &cv), 1);
    EXPECT_EQ(cv, 50);
}

// ---- TIME-form timers ----------------------------------------------------------------------

using TimeEntry = std::uint8_t (*)(std::uint8_t, const IntCell*, IntCell*, std::int32_t*);
using TimeCv = IntCell* (*)(std::uint8_t, const IntCell*, IntCell*, std::int32_t*);

struct TimeRow {
    const char* what;
    TimeEntry q;
    TimeCv cv;
    std::int32_t pt_days, pt_ticks;
    float period;
    const char* in;
    const char* expected_q;
    std::vector<std::int64_t> expected_total;
    std::int32_t error = 0;
};

std::int64_t total_of(std::pair<std::int32_t, std::int32_t> t) { return std::int64_t{t.first} * 864000000 + t.second; }

TEST_F(IecTest, TimeTimers) {
    const TimeRow kRows[] = {
        {"tp 1000 ticks at 40 ms", tp_Q, tp_CV, 0, 1000, 40000, "1110", "1100", {400, 800, 1000, 0}},
        {"ton 1000 ticks at 40 ms", ton_Q, ton_CV, 0, 1000, 40000, "11110", "00110", {400, 800, 1000, 1000, 0}},
        {"ton preset not in normal form", ton_Q, ton_CV, 1, -863999000, 40000, "111", "001", {400, 800, 1000}},
        {"ton 0 follows IN", ton_Q, ton_CV, 0, 0, 40000, "101", "101", {0, 0, 0}},
        {"ton drops the fraction of a tick", ton_Q, ton_CV, 0, 100, 150, "111", "000", {1, 2, 3}},
        {"ton at long periods", ton_Q, ton_CV, 0, 30000000, 1e9f, "1111", "0011", {10000000, 20000000, 30000000, 30000000}},
        {"ton negative preset", ton_Q, ton_CV, 0, -1, 40000, "1", "0", {0}, 1079},
        {"tp negative preset", tp_Q, tp_CV, -1, 0, 40000, "1", "0", {0}, 1083},
    };
    for (const TimeRow& r : kRows) {
        Ints pt(r.pt_days, r.pt_ticks), cv(0, 0);
        std::int32_t mark = 0;
        for (std::size_t i = 0; r.in[i]; ++i) {
            next_cycle();
            set_period(r.period);
            EXPECT_EQ(r.q(bit(r.in, i), pt, cv.get(), &mark), bit(r.expected_q, i) ? 1 : 0) << r.what << " cycle " << i;
            EXPECT_EQ(LIBFB_ERR, r.error) << r.what;
            const IntCell* copy = r.cv(bit(r.in, i), pt, cv.get(), &mark);
            EXPECT_NE(copy, static_cast<const IntCell*>(cv)) << r.what;
            EXPECT_EQ(total_of(elements(copy)), r.expected_total[i]) << r.what << " cycle " << i;
            EXPECT_EQ(elements(copy), cv.value()) << r.what;
        }
    }
}

TEST_F(IecTest, TimeTimerStoresInNormalForm) {
    Ints pt(3, 0), cv(0, 0);
    std::int32_t mark = 0;
    set_period(1.5e9f);  // 15000000 ticks a cycle
    for (int i = 0; i < 60; ++i) {
        next_cycle();
        ton_Q(1, pt, cv.get(), &mark);
    }
    EXPECT_EQ(cv.value(), std::make_pair(1, 36000000));
}

TEST_F(IecTest, TofTimeForm) {
    struct Row {
        const char* what;
        std::int32_t pt;
        const char* in;
        const char* expected_q;
        std::vector<std::int64_t> expected_total;
        std::int32_t error = 0;
    };
    const Row kRows[] = {
        {"tof 1000 ticks at 40 ms", 1000, "100001", "111001", {0, 400, 800, 1000, 1000, 0}},
        {"tof 0 is always FALSE", 0, "101", "000", {0, 0, 0}},
        {"tof negative preset", -5, "1", "0", {0}, 1075},
    };
    set_period(40000);
    for (const Row& r : kRows) {
        Ints pt(0, r.pt), cv(0, 0);
        std::int16_t running = 0;
        std::int32_t mark = 0;
        for (std::size_t i = 0; r.in[i]; ++i) {
            next_cycle();
            EXPECT_EQ(tof_Q(bit(r.in, i), pt, cv.get(), &running, &mark), bit(r.expected_q, i) ? 1 : 0)
                << r.what << " cycle " << i;
            EXPECT_EQ(LIBFB_ERR, r.error) << r.what;
            EXPECT_EQ(total_of(elements(tof_CV(bit(r.in, i), pt, cv.get(), &running, &mark))), r.expected_total[i])
                << r.what << " cycle " << i;
        }
    }
}

}  // namespace
}  // namespace iec::testing
