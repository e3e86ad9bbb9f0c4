// Controls that show without being pressed: text, pictures, lamps, relay
// contacts, a knob, a frame and the graphic display.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "vi/controls/hotspot.h"
#include "vi/controls/image_cache.h"

class CHotLabel : public CHotspot {
public:
    CHotLabel();
    void Serialize(CArchive& ar) override;
    // The text in its font and colour; sizes itself to it.
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    platform::FontSpec m_Font;
    platform::Color m_crText = 0xFFFFFF;
    WString m_strText;
};

// A picture whose top-left pixel gives its transparent colour; a grey
// rectangle when it cannot be loaded.
class CHotBitmap : public CHotspot {
public:
    CHotBitmap();
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    uint32_t m_nBitmap = 5500;
    CStripRef m_Strip;
};

// A two-image control (off, on) that redraws only-if-changed only when its
// image changed.
class CHotLamp : public CHotspot {
public:
    CHotLamp(uint32_t tag, uint32_t bitmap);
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;
    virtual bool IsLit() const = 0;

    uint32_t m_nBitmap;
    CStripRef m_Strip;

protected:
    int32_t m_nShown = -1; // image drawn last
};

class CHotStatus : public CHotLamp {
public:
    CHotStatus();
    void Serialize(CArchive& ar) override;
    bool IsLit() const override { return m_bOn; }
    // True when the state changed.
    bool SetOn(bool on);

    bool m_bOn = false;
};

// One relay contact: 0-7 lit while its relay is off (break contact),
// 8-15 lit while relay n - 8 is on (make contact).
class CHotRelays : public CHotLamp {
public:
    CHotRelays();
    void Serialize(CArchive& ar) override;
    bool IsLit() const override;

    uint8_t m_nContact = 0;
};

class CHotKnob : public CHotspot {
public:
    CHotKnob();
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;
    // False (nothing changed) for a position the knob does not have.
    bool SetCurrent(uint32_t position);

    uint32_t m_nBitmap = 5200;
    uint32_t m_nPositions = 5;
    uint32_t m_nCurrent = 0;
    CStripRef m_Strip;
};

// A frame around a group of controls. Values in panel order: kind (1: on a
// background of the second colour), three sizes kept for the panel, the
// line (style, width, width, colour), the colours of the inner line and of
// the background.
class CHotFrame : public CHotspot {
public:
    CHotFrame();
    void Serialize(CArchive& ar) override;
    // Only near the border, so that the controls inside stay clickable.
    bool HitTest(int32_t x, int32_t y) const override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    std::array<uint32_t, 10> m_aValues = {0, 10, 5, 10, 6, 2, 2, 0xFFFFFF, 0, 0xC0C0C0};
};

// A dot-matrix display: each byte of its memory is eight dots of one column
// drawn as the strip's image of that byte value.
class CHotLCD : public CHotspot {
public:
    CHotLCD();
    void Serialize(CArchive& ar) override;
    void RecalcSize() override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    // Dot memory: row group by row group, column by column.
    std::span<uint8_t> Dots() { return m_Dots; }

    uint32_t m_nBitmap = 5153;
    uint32_t m_nColumns = 128;
    uint32_t m_nRows = 64;
    CStripRef m_Strip;

private:
    std::vector<uint8_t> m_Dots;
};
