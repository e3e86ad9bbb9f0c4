// Seven-segment displays: digits from one shared strip, and the word
// display of the digital port in hexadecimal, decimal or octal.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vi/controls/hotspot.h"
#include "vi/controls/image_cache.h"

class CHotSeg7 : public CHotspot {
public:
    CHotSeg7();

    void Serialize(CArchive& ar) override;
    // digits × one digit wide, one digit high.
    void RecalcSize() override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    // One character a digit: 0-9, a-f/A-F, "-", anything else blank; a "."
    // or "," lights the decimal point of the digit before it.
    void SetText(std::string_view text);
    const std::string& Text() const { return m_strText; }
    // The number right-aligned over all digits.
    virtual void SetValue(int32_t value);
    // Blinking: every draw shows all digits alternately as "-" and blank.
    void SetBlinking(bool on) { m_bBlink = on; }

    uint32_t m_nDigits = 4;
    CStripRef m_Strip;

protected:
    struct Cell {
        int32_t image = 16;
        bool point = false;
        bool operator==(const Cell&) const = default;
    };
    Cell CellAt(size_t digit) const;

private:
    std::string m_strText;
    bool m_bBlink = false;
    bool m_bBlinkPhase = false;
    std::vector<Cell> m_Shown; // as drawn last
};

class CHotDigSeg7 : public CHotSeg7 {
public:
    CHotDigSeg7();

    void Serialize(CArchive& ar) override;
    // Shows the low 16 bits in the current mode and radix.
    void SetValue(int32_t value) override;
    // 0: high and low byte apart, 1: the word, 2: high byte, 3: low byte;
    // others show nothing.
    void SetMode(uint32_t mode);
    // Radix index: 0 hexadecimal, 1 decimal, 2 octal; false for others.
    bool SetRadix(uint32_t index);

    uint32_t m_nMode = 0;
    uint32_t m_nRadix = 0;

private:
    void Format();
    uint16_t m_wValue = 0;
};
