// The layouts of the five controller programs, written down from their
// documented cell tables, not from the generator: a plant simulator
// addresses these cells by index, so they must never move.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace vx::controllers {

struct ExpectedLayout {
    std::string program;
    std::array<std::int32_t, 4> counts;    // bool, int, float, char
    std::array<std::uint32_t, 4> offsets;  // of the four areas
    std::uint32_t space;                   // bytes the block must hold
    std::int32_t pospid;
    std::int32_t posmxsimucounter;
    std::string cells;          // "<name> <index>" of every variable and graph cell, in allocation order
    std::vector<int> initial;   // initial steps
};

// clang-format off
inline const std::vector<ExpectedLayout> kExpectedLayouts{
    {"tarvo", {28, 532, 17, 53}, {20292, 20352, 26736, 26940}, 27152, 529, 530,
     "jour 5 nuit 6 vert 7 rouge 8 orange 9 vert_pieton 10 rouge_pieton 11 "
     "X_11 12 X_12 13 X_10 14 X_20 15 X_21 16 X_22 17 X_23 18 X_24 19 X_25 20 "
     "X_11_PREV 21 X_12_PREV 22 X_21_PREV 23 X_22_PREV 24 X_23_PREV 25 X_24_PREV 26 X_25_PREV 27 "
     "TIMER_21 523 TIMER_22 524 TIMER_23 525 TIMER_24 526 TIMER_25 527",
     {10, 20}},
    {"melki", {44, 537, 17, 53}, {20292, 20388, 26832, 27036}, 27248, 534, 535,
     "jour 5 nuit 6 vertA 7 orangeB 8 rougeB 9 vertB 10 rougeA 11 orangeA 12 vert_pietonA 13 rouge_pietonA 14 "
     "X_11 15 X_12 16 X_10 17 X_20 18 X_21 19 X_22 20 X_23 21 X_24 22 X_25 23 X_30 24 X_31 25 X_32 26 X_33 27 "
     "X_34 28 X_35 29 X_36 30 "
     "X_11_PREV 31 X_12_PREV 32 X_21_PREV 33 X_22_PREV 34 X_23_PREV 35 X_24_PREV 36 X_25_PREV 37 X_32_PREV 38 "
     "X_33_PREV 39 X_34_PREV 40 X_35_PREV 41 X_36_PREV 42 X_31_PREV 43 "
     "TIMER_21 523 TIMER_22 524 TIMER_23 525 TIMER_24 526 TIMER_25 527 TIMER_32 528 TIMER_33 529 TIMER_34 530 "
     "TIMER_35 531 TIMER_36 532",
     {10, 20, 30}},
    {"melki_bis", {44, 536, 17, 53}, {20292, 20388, 26820, 27024}, 27236, 533, 534,
     "jour 5 nuit 6 vertA 7 orangeB 8 rougeB 9 vertB 10 rougeA 11 orangeA 12 vert_pietonA 13 rouge_pietonA 14 "
     "X_10 15 X_11 16 X_12 17 X_13 18 X_14 19 X_15 20 X_16 21 X_17 22 X_21 23 X_22 24 X_20 25 X_30 26 X_31 27 "
     "X_32 28 X_33 29 X_34 30 "
     "X_11_PREV 31 X_12_PREV 32 X_13_PREV 33 X_14_PREV 34 X_15_PREV 35 X_16_PREV 36 X_17_PREV 37 X_21_PREV 38 "
     "X_22_PREV 39 X_32_PREV 40 X_33_PREV 41 X_31_PREV 42 X_34_PREV 43 "
     "TIMER_11 523 TIMER_12 524 TIMER_13 525 TIMER_14 526 TIMER_15 527 TIMER_16 528 TIMER_17 529 TIMER_32 530 "
     "TIMER_33 531",
     {10, 20, 30}},
    {"sorel", {37, 535, 17, 53}, {20292, 20376, 26796, 27000}, 27212, 532, 533,
     "jour 5 nuit 6 capteurB 7 vertA 8 orangeB 9 rougeB 10 vertB 11 rougeA 12 orangeA 13 "
     "X_10 14 X_11 15 X_12 16 X_13 17 X_14 18 X_15 19 X_16 20 X_20 21 X_21 22 X_22 23 X_23 24 X_24 25 X_25 26 "
     "X_11_PREV 27 X_12_PREV 28 X_13_PREV 29 X_15_PREV 30 X_16_PREV 31 X_14_PREV 32 X_22_PREV 33 X_23_PREV 34 "
     "X_24_PREV 35 X_21_PREV 36 "
     "TIMER_11 523 TIMER_12 524 TIMER_13 525 TIMER_15 526 TIMER_16 527 TIMER_22 528 TIMER_23 529 TIMER_24 530",
     {10, 20}},
    {"sorel_bis", {39, 535, 17, 53}, {20292, 20376, 26796, 27000}, 27212, 532, 533,
     "jour 5 nuit 6 capteurB 7 dense 8 normal 9 vertA 10 orangeB 11 rougeB 12 vertB 13 rougeA 14 orangeA 15 "
     "X_10 16 X_11 17 X_12 18 X_13 19 X_14 20 X_15 21 X_16 22 X_20 23 X_21 24 X_22 25 X_23 26 X_24 27 X_25 28 "
     "X_11_PREV 29 X_12_PREV 30 X_13_PREV 31 X_15_PREV 32 X_16_PREV 33 X_14_PREV 34 X_22_PREV 35 X_23_PREV 36 "
     "X_24_PREV 37 X_21_PREV 38 "
     "TIMER_11 523 TIMER_12 524 TIMER_13 525 TIMER_15 526 TIMER_16 527 TIMER_22 528 TIMER_23 529 TIMER_24 530",
     {10, 20}},
};
// clang-format on

}  // namespace vx::controllers
