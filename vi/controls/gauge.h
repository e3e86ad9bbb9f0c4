// The pointer instrument of the meter windows: a face, a range label and a
// needle showing one reading of the multimeter.
#pragma once

#include <cstdint>

#include "vi/controls/hotspot.h"
#include "vi/controls/image_cache.h"

class CHotGauge : public CHotspot {
public:
    explicit CHotGauge(CBaseVI* wnd);

    void Serialize(CArchive& ar) override;
    // The size of the face; the radius follows from it.
    void RecalcSize() override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    // Range 0-8 (100 mV to 50 V full scale); false for another.
    bool SetRange(uint32_t range);
    // The value the needle shows: the chosen reading of channel A or B.
    double Value() const;
    // Tip and the two base points of the needle at value.
    void Needle(double value, platform::Point out[3]) const;

    CBaseVI* m_pWnd;
    double m_dStart = 0.0;
    double m_dEnd = 50.0;
    double m_dFactor = 1.0;
    uint32_t m_nRadius = 0;
    uint32_t m_nInset = 5;
    double m_dStartAngle = 2.0943951023931953;
    double m_dEndAngle = 4.71238898038469;
    uint32_t m_nTip = 120;
    uint32_t m_nBase = 5;
    platform::Color m_crNeedle = 0;
    uint32_t m_nReading = 4;
    bool m_bChannelA = true;
    uint32_t m_nRange = 8;
    CStripRef m_Face;
    CStripRef m_Labels;
};
