// The display of the three-phase windows: the three outputs drawn over a
// few periods of phase 1, each at its amplitude and shifted by its angle.
#pragma once

#include <cstdint>
#include <vector>

#include "vi/controls/hotspot.h"

// What the display shows: the generator's settings as the window last read
// them.
struct P3View {
    bool on = false;
    bool dcMode = false;
    bool phaseOn[3] = {};
    uint32_t function = 0;
    uint32_t amplitude[3] = {}; // percent
    uint32_t phase[3] = {};     // degrees behind phase 1 (phase[0] is 0)
    // One period of the formula waveform (function 6); empty when unknown.
    std::vector<double> formula;
    bool operator==(const P3View&) const = default;
};

class CHot3PhDisp : public CHotspot {
public:
    CHot3PhDisp();

    // Base fields, then u32 periods shown (1-8), u32 background colour.
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    // True when the view changed (the window redraws only then).
    bool SetView(P3View view);
    const P3View& View() const { return m_View; }
    // Output `phase` (0-2) at angle x (radians of phase 1) as a fraction of
    // full scale; NaN where the waveform is not known (a client's table).
    double Level(int phase, double x) const;

    uint32_t m_nPeriods = 2;
    platform::Color m_crBack = platform::Rgb(0x10, 0x1A, 0x0C);

private:
    P3View m_View;
};

// The trace colour of each phase, also used by the panels' legends.
inline constexpr platform::Color kP3PhaseColours[3] = {platform::Rgb(0xFF, 0x5A, 0x40),
                                                       platform::Rgb(0xFF, 0xD2, 0x1E),
                                                       platform::Rgb(0x46, 0xB4, 0xFF)};
