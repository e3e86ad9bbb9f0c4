// The instrument window types as a user reads them.
#pragma once

#include <cstdint>

struct WindowTypeName {
    uint32_t type;
    const char* name;
};

inline constexpr WindowTypeName kWindowTypes[] = {
    {11, "Digital I/O: inputs and outputs"},
    {12, "Digital I/O: inputs"},
    {13, "Digital I/O: outputs"},
    {14, "Relays"},
    {21, "Relays (offline)"},
    {22, "Digital I/O with relays"},
    {31, "Function generator"},
    {33, "Function generator: formula"},
    {35, "Function generator: DC"},
    {36, "Function generator: pulses"},
    {41, "Three-phase: all DC"},
    {42, "Three-phase: all AC"},
    {43, "Three-phase: DC motor"},
    {48, "Three-phase generator"},
    {51, "Oscilloscope"},
    {60, "Calibration: generator and meter"},
    {61, "Voltmeter A"},
    {62, "Voltmeter B"},
    {63, "Ammeter A"},
    {64, "Ammeter B"},
    {65, "Level meter A (dB)"},
    {66, "Level meter B (dB)"},
    {67, "Power meter"},
    {68, "SWR meter"},
    {69, "Thermometer"},
    {70, "Hand-held meter (format 1)"},
    {71, "Hand-held meter (format 2)"},
    {72, "Hand-held meter (format 3)"},
};

inline const WindowTypeName* FindWindowType(uint32_t type) {
    for (const WindowTypeName& t : kWindowTypes)
        if (t.type == type)
            return &t;
    return nullptr;
}
