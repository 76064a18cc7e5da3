#include "blocks.hpp"

#include <algorithm>
#include <cmath>

#include "vx/numbers.hpp"

namespace iec {
namespace {

constexpr std::int32_t kCounterMax = 32767;
constexpr std::int32_t kCounterMin = -32768;
constexpr std::int32_t kUnitPresetMax = 32767;

// A counter's mark: the low 15 bits of the cycle counter.
std::int16_t counter_mark() { return static_cast<std::int16_t>(clock().counter & 0x7FFF); }

// ---- Unit timers ---------------------------------------------------------------

struct UnitInstance {
    std::int32_t& cycle_mark;
    float& elapsed;
    std::int32_t& third;  // CV, or running for TOF
};

// The elapsed time truncated toward zero, saturating: it keeps growing while
// a pulse's input stays TRUE and may leave the DINT range.
std::int32_t whole(float elapsed) {
    return static_cast<std::int32_t>(vx::truncate_clamped(elapsed, INT32_MIN, INT32_MAX));
}

// One cycle period in the timer's unit, rounded once to REAL; the counter
// becomes the mark.
void add_period(UnitInstance& t, const Clock& now, long divisor) {
    t.elapsed = vx::to_float(static_cast<double>(t.elapsed) + static_cast<double>(now.period) / divisor);
    t.cycle_mark = now.counter;
}

bool unit_tp(UnitInstance t, const Clock& now, long divisor, bool in, std::int32_t pt) {
    std::int32_t& cv = t.third;
    if (!in && cv == pt) {
        t.elapsed = 0;
        cv = 0;
    }
    // Q is decided on the CV of the previous call: it stays TRUE through the
    // cycle in which CV reaches PT and falls in the next.
    bool q = t.elapsed > 0 && pt > cv;
    if (now.counter != t.cycle_mark) {
        if (in || t.elapsed > 0) {
            add_period(t, now, divisor);
            q = t.elapsed > 0 && pt > cv;
        } else {
            q = false;
        }
    }
    cv = std::min(whole(t.elapsed), pt);
    return q;
}

bool unit_ton(UnitInstance t, const Clock& now, long divisor, bool in, std::int32_t pt) {
    std::int32_t& cv = t.third;
    if (in) {
        if (now.counter != t.cycle_mark) add_period(t, now, divisor);
        cv = std::min({whole(t.elapsed), kUnitPresetMax, pt});
    } else {
        cv = 0;
        t.elapsed = 0;
    }
    return pt == 0 ? in : cv >= pt;
}

bool unit_tof(UnitInstance t, const Clock& now, long divisor, bool in, std::int32_t pt) {
    std::int32_t& running = t.third;
    if (in) {
        t.elapsed = 0;
        running = 1;
    } else {
        if (now.counter != t.cycle_mark && running == 1) add_period(t, now, divisor);
        if (t.elapsed > static_cast<float>(pt)) {
            t.elapsed = static_cast<float>(pt);
            running = 0;
        }
    }
    return static_cast<float>(pt) >= t.elapsed && running == 1;
}

// ---- TIME-form timers -----------------------------------------------------------
// The elapsed time is the total of CV in ticks; the period is added with its
// fraction, which is dropped when the total is stored back into CV.

using Ticks = long double;

void add_period(Ticks& et, std::int32_t& cycle_mark, const Clock& now) {
    et += static_cast<Ticks>(now.period) / 100;
    cycle_mark = now.counter;
}

// Runs a TIME-form timer: a negative preset stops it (`refuse`, CV T#0 and
// the entry's error code); otherwise `body` runs on the elapsed time of CV,
// with its fraction, and the result is stored back into CV.
template <class Refuse, class Body>
std::uint8_t time_form(std::int32_t code, const IntCell* PT, IntCell* CV, Refuse&& refuse, Body&& body) {
    const std::int64_t pt = total(PT);
    if (pt < 0) {
        refuse();
        store_time(CV, 0);
        fail(code);
        return 0;
    }
    Ticks et = static_cast<Ticks>(total(CV));
    const bool q = body(et, pt);
    store_time(CV, whole_total(et));
    return boolean(q);
}

}  // namespace

// ---- Edge detectors and bistables ------------------------------------------------

std::uint8_t r_trig_Q(std::uint8_t CLK, std::int16_t* last_in) {
    if (last_in == nullptr) return 0;
    const bool q = truth(CLK) && *last_in <= 0;
    *last_in = CLK;
    return boolean(q);
}

std::uint8_t f_trig_Q(std::uint8_t CLK, std::int16_t* last_in) {
    if (last_in == nullptr) return 0;
    const bool q = !truth(CLK) && *last_in > 0;
    *last_in = CLK;
    return boolean(q);
}

std::uint8_t rs_Q1(std::uint8_t S, std::uint8_t R1, std::int16_t* q1_state) {
    if (q1_state == nullptr) return 0;
    const bool q1 = !truth(R1) && (truth(S) || *q1_state > 0);
    *q1_state = boolean(q1);
    return boolean(q1);
}

std::uint8_t sr_Q1(std::uint8_t S1, std::uint8_t R, std::int16_t* q1_state) {
    if (q1_state == nullptr) return 0;
    const bool q1 = truth(S1) || (!truth(R) && *q1_state > 0);
    *q1_state = boolean(q1);
    return boolean(q1);
}

// ---- Counters ------------------------------------------------------------------------

std::uint8_t ctu_Q(std::uint8_t CU, std::uint8_t R, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark) {
    if (CV == nullptr || cycle_mark == nullptr) return 0;
    const std::int16_t m = counter_mark();
    if (truth(R)) {
        *CV = 0;
    } else if (truth(CU) && *CV != kCounterMax && *cycle_mark != m) {
        *CV = static_cast<std::int16_t>(*CV + 1);
        *cycle_mark = m;
    }
    return boolean(*CV >= PV);
}

std::int16_t ctu_CV(std::uint8_t CU, std::uint8_t R, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark) {
    ctu_Q(CU, R, PV, CV, cycle_mark);
    return CV ? *CV : 0;
}

std::uint8_t ctd_Q(std::uint8_t CD, std::uint8_t LD, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark) {
    if (CV == nullptr || cycle_mark == nullptr) return 0;
    const std::int16_t m = counter_mark();
    if (truth(LD)) {
        *CV = PV;
    } else if (truth(CD) && *CV != kCounterMin && *cycle_mark != m) {
        *CV = static_cast<std::int16_t>(*CV - 1);
        *cycle_mark = m;
    }
    return boolean(*CV <= 0);
}

std::int16_t ctd_CV(std::uint8_t CD, std::uint8_t LD, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark) {
    ctd_Q(CD, LD, PV, CV, cycle_mark);
    return CV ? *CV : 0;
}

// Unlike CTU and CTD, CTUD stores the mark in every call, counting or not.
std::uint8_t ctud_QU(std::uint8_t CU, std::uint8_t CD, std::uint8_t R, std::uint8_t LD, std::int16_t PV,
                     std::int16_t* CV, std::int16_t* cycle_mark) {
    if (CV == nullptr || cycle_mark == nullptr) return 0;
    const std::int16_t m = counter_mark();
    const bool new_cycle = *cycle_mark != m;
    if (truth(R)) {
        *CV = 0;
    } else if (truth(LD)) {
        *CV = PV;
    } else if (truth(CU)) {
        if (!truth(CD) && *CV != kCounterMax && new_cycle) *CV = static_cast<std::int16_t>(*CV + 1);
    } else if (truth(CD)) {
        if (*CV != kCounterMin && new_cycle) *CV = static_cast<std::int16_t>(*CV - 1);
    }
    *cycle_mark = m;
    return boolean(*CV >= PV);
}

std::uint8_t ctud_QD(std::uint8_t CU, std::uint8_t CD, std::uint8_t R, std::uint8_t LD, std::int16_t PV,
                     std::int16_t* CV, std::int16_t* cycle_mark) {
    ctud_QU(CU, CD, R, LD, PV, CV, cycle_mark);
    return boolean(CV != nullptr && *CV <= 0);
}

std::int16_t ctud_CV(std::uint8_t CU, std::uint8_t CD, std::uint8_t R, std::uint8_t LD, std::int16_t PV,
                     std::int16_t* CV, std::int16_t* cycle_mark) {
    ctud_QU(CU, CD, R, LD, PV, CV, cycle_mark);
    return CV ? *CV : 0;
}

// ---- Unit timers -----------------------------------------------------------------------

std::uint8_t unit_timer_Q(Timer kind, long divisor, std::int32_t code, std::uint8_t IN, std::int32_t PT,
                          std::int32_t* cycle_mark, float* elapsed, std::int32_t* third) {
    if (cycle_mark == nullptr || elapsed == nullptr || third == nullptr) return 0;
    // A preset out of 0..32767 (a negative one included) stops the timer.
    if (static_cast<std::uint32_t>(PT) > kUnitPresetMax) {
        if (kind == Timer::tof) *elapsed = 0;
        *third = 0;
        fail(code);
        return 0;
    }
    const UnitInstance t{*cycle_mark, *elapsed, *third};
    const Clock now = clock();
    const bool in = truth(IN);
    switch (kind) {
        case Timer::tp: return boolean(unit_tp(t, now, divisor, in, PT));
        case Timer::ton: return boolean(unit_ton(t, now, divisor, in, PT));
        case Timer::tof: return boolean(unit_tof(t, now, divisor, in, PT));
    }
    return 0;
}

std::int32_t unit_timer_CV(Timer kind, long divisor, std::int32_t code, std::uint8_t IN, std::int32_t PT,
                           std::int32_t* cycle_mark, float* elapsed, std::int32_t* third) {
    unit_timer_Q(kind, divisor, code, IN, PT, cycle_mark, elapsed, third);
    if (kind == Timer::tof) return elapsed ? whole(*elapsed) : 0;
    return third ? *third : 0;
}

// ---- TIME-form timers ---------------------------------------------------------------------

std::uint8_t time_timer_Q(Timer kind, std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV,
                          std::int32_t* cycle_mark) {
    if (CV == nullptr || cycle_mark == nullptr) return 0;
    const Clock now = clock();
    const bool in = truth(IN);
    if (kind == Timer::tp) {
        return time_form(code, PT, CV, [] {}, [&](Ticks& et, std::int64_t pt) {
            if (!in && et == pt) et = 0;
            if (now.counter != *cycle_mark && (in || et > 0)) add_period(et, *cycle_mark, now);
            et = std::min(et, static_cast<Ticks>(pt));
            // The pulse ends in the cycle in which the elapsed time reaches PT.
            return et > 0 && et < pt;
        });
    }
    return time_form(code, PT, CV, [] {}, [&](Ticks& et, std::int64_t pt) {
        if (in) {
            if (now.counter != *cycle_mark) add_period(et, *cycle_mark, now);
            et = std::min(et, static_cast<Ticks>(pt));
        } else {
            et = 0;
        }
        return pt == 0 ? in : et >= pt;
    });
}

IntCell* time_timer_CV(Timer kind, std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV,
                       std::int32_t* cycle_mark) {
    IntCell* result = new_int_array(2);
    time_timer_Q(kind, code, IN, PT, CV, cycle_mark);
    return copy_into(result, CV);
}

std::uint8_t tof_Q(std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV, std::int16_t* running,
                   std::int32_t* cycle_mark) {
    if (CV == nullptr || running == nullptr || cycle_mark == nullptr) return 0;
    const Clock now = clock();
    const bool in = truth(IN);
    return time_form(code, PT, CV, [&] { *running = 0; }, [&](Ticks& et, std::int64_t pt) {
        if (in) {
            *running = 1;
            et = 0;
        } else {
            if (now.counter != *cycle_mark && *running == 1) add_period(et, *cycle_mark, now);
            if (et > pt) {
                *running = 0;
                et = static_cast<Ticks>(pt);
            }
        }
        return pt != 0 && pt >= et && *running == 1;
    });
}

IntCell* tof_CV(std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV, std::int16_t* running,
                std::int32_t* cycle_mark) {
    IntCell* result = new_int_array(2);
    tof_Q(code, IN, PT, CV, running, cycle_mark);
    return copy_into(result, CV);
}

}  // namespace iec
