// The second pointer instrument of the meter windows: the same face and
// needle as the first, showing a quantity the window derives, on a scale
// the window sets.
#pragma once

#include "vi/controls/gauge.h"

class CHotGauge1 : public CHotGauge {
public:
    explicit CHotGauge1(CBaseVI* wnd);

    // The panel fields of the first pointer instrument; the needle turns
    // over the fraction of the scale the window sets.
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;
    // The scale from low to high (high above low) with its caption; false
    // for a scale that has no span.
    bool SetScale(double low, double high, const WString& caption);
    // The value shown (NaN: none, the needle rests at the start); true when
    // the needle moves.
    bool SetValue(double value);
    // Where the needle stands: 0 at the start of the scale, 1 at its end.
    double Fraction() const;

    double m_dLow = 0.0;
    double m_dHigh = 1.0;
    double m_dValue;
    WString m_strCaption;
};
