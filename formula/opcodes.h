// What each opcode of the formula code needs and does to the value stack;
// shared by the compiler, which counts the depth it emits, and by the
// interpreter, which checks code it did not verify.
#pragma once

#include <array>
#include <cstdint>

#include "formula/forcomp.h"

namespace formula {

struct OpEffect {
    int8_t need;  // values the instruction takes from the stack
    int8_t delta; // change of the stack depth
    int8_t size;  // bytes of the instruction
};

constexpr OpEffect EffectOf(int op) {
    if (op == CForComp::opX || op == CForComp::opPi) {
        return {0, 1, 1};
    }
    if (op == CForComp::opConst) {
        return {0, 1, 9};
    }
    if ((op >= CForComp::opAdd && op <= CForComp::opDiv) ||
        (op >= CForComp::opPwm && op <= CForComp::opPul) || op == CForComp::opIn) {
        return {2, -1, 1};
    }
    if (op == CForComp::opEnd) {
        return {0, 0, 1};
    }
    return {1, 0, 1};
}

inline constexpr auto kEffects = [] {
    std::array<OpEffect, CForComp::kOpcodeCount> table{};
    for (int op = 0; op < CForComp::kOpcodeCount; ++op) {
        table[op] = EffectOf(op);
    }
    return table;
}();

} // namespace formula
