// The display of the hand-held meter: a liquid-crystal face with the
// reading in large seven-segment digits, the mode name above it and the
// unit beside it; a note line in place of the mode when there is no reading.
#pragma once

#include <cstdint>
#include <string>

#include "vi/controls/hotspot.h"

class CHotMetraLcd : public CHotspot {
public:
    CHotMetraLcd();

    // Panel fields after the base fields: face colour, ink colour, digit
    // height in pixels.
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    // What the display shows; true when it differs from what it showed.
    bool SetReading(const std::u16string& digits, const std::u16string& mode,
                    const std::u16string& unit, const std::u16string& note);

    platform::Color m_crFace = 0x9CC4A8;
    platform::Color m_crInk = 0x182018;
    uint32_t m_nDigitHeight = 40;

    std::u16string m_strDigits;
    std::u16string m_strMode;
    std::u16string m_strUnit;
    std::u16string m_strNote;

private:
    // The segments of one character (bit 0 = a ... bit 6 = g); 0 for a blank.
    static uint8_t Segments(char16_t c);
    void DrawDigit(platform::Gfx& dc, platform::Point at, uint8_t segments, platform::Color ink,
                   platform::Color faint) const;
    bool m_bDrawn = false;
};
