// Function blocks: edge detectors, bistables, counters and timers. A block
// keeps its state in instance variables that the caller owns (zero in a new
// instance) and passes by address; every entry runs the whole block and
// returns one output. Timers and counters advance at most once per cycle:
// they compare the cycle counter with the mark they stored when they last
// advanced, so calling several outputs of one instance in a cycle advances
// it once, and only the inequality matters when the counter wraps.
#pragma once

#include <cstdint>

#include "iec.hpp"

namespace iec {

std::uint8_t r_trig_Q(std::uint8_t CLK, std::int16_t* last_in);
std::uint8_t f_trig_Q(std::uint8_t CLK, std::int16_t* last_in);
std::uint8_t rs_Q1(std::uint8_t S, std::uint8_t R1, std::int16_t* q1_state);
std::uint8_t sr_Q1(std::uint8_t S1, std::uint8_t R, std::int16_t* q1_state);

// Counters count once per cycle while their count input is TRUE (a level,
// not an edge); their mark is the low 15 bits of the cycle counter.
std::uint8_t ctu_Q(std::uint8_t CU, std::uint8_t R, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark);
std::int16_t ctu_CV(std::uint8_t CU, std::uint8_t R, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark);
std::uint8_t ctd_Q(std::uint8_t CD, std::uint8_t LD, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark);
std::int16_t ctd_CV(std::uint8_t CD, std::uint8_t LD, std::int16_t PV, std::int16_t* CV, std::int16_t* cycle_mark);
std::uint8_t ctud_QU(std::uint8_t CU, std::uint8_t CD, std::uint8_t R, std::uint8_t LD, std::int16_t PV,
                     std::int16_t* CV, std::int16_t* cycle_mark);
std::uint8_t ctud_QD(std::uint8_t CU, std::uint8_t CD, std::uint8_t R, std::uint8_t LD, std::int16_t PV,
                     std::int16_t* CV, std::int16_t* cycle_mark);
std::int16_t ctud_CV(std::uint8_t CU, std::uint8_t CD, std::uint8_t R, std::uint8_t LD, std::int16_t PV,
                     std::int16_t* CV, std::int16_t* cycle_mark);

enum class Timer { tp, ton, tof };

// The unit timers: PT counts seconds, centiseconds or milliseconds (the
// period in microseconds divided by `divisor`), from 0 to 32767, and
// `elapsed` accumulates in a REAL. The third instance variable is CV for TP
// and TON and `running` for TOF. `code` is the entry's error code for a
// preset out of range.
std::uint8_t unit_timer_Q(Timer kind, long divisor, std::int32_t code, std::uint8_t IN, std::int32_t PT,
                          std::int32_t* cycle_mark, float* elapsed, std::int32_t* third);
std::int32_t unit_timer_CV(Timer kind, long divisor, std::int32_t code, std::uint8_t IN, std::int32_t PT,
                           std::int32_t* cycle_mark, float* elapsed, std::int32_t* third);

// The TIME-form timers: PT and the elapsed time CV are TIME values, in
// ticks of 100 us; the _CV entries return a new TIME.
std::uint8_t time_timer_Q(Timer kind, std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV,
                          std::int32_t* cycle_mark);
IntCell* time_timer_CV(Timer kind, std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV,
                       std::int32_t* cycle_mark);
std::uint8_t tof_Q(std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV, std::int16_t* running,
                   std::int32_t* cycle_mark);
IntCell* tof_CV(std::int32_t code, std::uint8_t IN, const IntCell* PT, IntCell* CV, std::int16_t* running,
                std::int32_t* cycle_mark);

}  // namespace iec
