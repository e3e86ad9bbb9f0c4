// The digital display of the meter windows: a reading and its unit on a
// liquid-crystal face.
#pragma once

#include <cstdint>

#include "vi/controls/hotspot.h"

class CHotMeterLcd : public CHotspot {
public:
    CHotMeterLcd();
    // Panel fields after the base ones: u32 face colour, u32 text colour,
    // the font record of the reading.
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;
    // The reading and the unit beside it; true when the text changed.
    bool SetText(const WString& value, const WString& unit);

    platform::Color m_crFace;
    platform::Color m_crText;
    platform::FontSpec m_Font;
    WString m_strValue;
    WString m_strUnit;
};
