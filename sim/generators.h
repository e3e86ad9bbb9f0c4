// The box's function generator and three-phase generator, wired to the
// analog inputs as on the training board: while the function generator is
// on, input A carries its output; while the three-phase generator is on,
// input B carries its phase 1. Switched off, an input gets back the signal
// it had before.
//
// How the box plays what the host leaves open:
// - function generator: output range 0 has 10 V full scale, 1 has 1 V,
//   2 has 0.1 V, any other code 10 V; the amplitude byte is the fraction of
//   full scale in 255ths; TTL is a 0/+1 rectangle, waveforms 8 and 9 a
//   pulse whose width is the pulse-width byte in 255ths of the period;
//   0xCA takes tenths of a hertz and plays at 80 MHz over the nearest whole
//   count of clock periods; a table received plays at once;
// - three-phase generator: 10 V full scale; its frequency byte is the
//   frequency in hertz, its clock byte only paces the samples; sine-3 is
//   a sine with a third of its third harmonic; in DC mode an output whose
//   phase switch is off is 0 V.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "sim/analog.h"

namespace kobsim {

class Box;

class Generators {
public:
    Generators(Box& box, Analog& analog);

    struct FuncGen {
        bool on = false;
        double hertz = 1.0; // what the box's timing produces
        uint8_t amplitude = 0;
        uint8_t range = 0;
        uint8_t function = 0;
        uint8_t pulseWidth = 127;
        std::shared_ptr<const std::vector<double>> table; // the last one sent
    };
    struct ThreePhase {
        bool on = false;
        uint8_t clock = 20;
        uint8_t frequency = 1;
        uint8_t amplitude[3] = {};
        uint16_t phase[2] = {240, 120}; // as sent: 360 minus the angle
        uint8_t function = 0;
        bool dcMode = false;
        uint8_t switches[3] = {};
        std::shared_ptr<const std::vector<double>> table;
    };
    FuncGen GetFuncGen() const;
    ThreePhase GetThreePhase() const;

private:
    void AddFuncGen();
    void AddThreePhase();
    // Puts the generators' outputs on the inputs (or gives them back).
    void Wire();

    Box& m_box;
    Analog& m_analog;
    int m_nModel;
    mutable std::mutex m_mutex;
    FuncGen m_fg;
    ThreePhase m_p3;
    // The inputs' own signals while a generator drives them.
    bool m_bDrivingA = false;
    bool m_bDrivingB = false;
    Signal m_savedA, m_savedB;
};

} // namespace kobsim
