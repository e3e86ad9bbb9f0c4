// Controls with a state of their own: check box and radio button (checked),
// switch and power button (on); each a strip of four images: off, off
// pressed, on, on pressed.
#pragma once

#include <cstdint>

#include "vi/controls/image_cache.h"
#include "vi/controls/press.h"

class CHotToggle : public CHotPressable {
public:
    CHotToggle(uint32_t tag, uint32_t bitmap);

    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;
    // True when the mark changed (the window redraws only then).
    bool SetChecked(bool on);

    uint32_t m_nBitmap;
    CStripRef m_Strip;
    uint8_t m_bChecked = 0;
};

class CHotCheck : public CHotToggle {
public:
    CHotCheck();
    // Released over it: checked inverted, command posted.
    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
};

class CHotRadio : public CHotToggle {
public:
    CHotRadio();
    // Released over it: checked, and a command posted unless it was already.
    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
    void Serialize(CArchive& ar) override;
    // The image, and the text to its right; sizes itself to both.
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    platform::FontSpec m_Font;
    platform::Color m_crText = 0;
    WString m_strText;
};

// The group of a radio button: its neighbours in the window's control list
// that are radio buttons too, forward and backward. Clears their marks,
// checks radio, and redraws them on dc.
void SelectRadioInGroup(CBaseVI& wnd, CHotRadio& radio, platform::Gfx& dc);

class CHotSwitch : public CHotPressable {
public:
    CHotSwitch(uint32_t tag = 0, uint32_t bitmap = 5140, int32_t images = 4);

    // Released over it: on inverted, command sent (handled before the click
    // returns).
    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    uint32_t m_nBitmap;
    CStripRef m_Strip;
    uint8_t m_bOn = 0;

private:
    int32_t m_nImages;
};

// A switch with a fifth image shown while it is disabled.
class CHotPowerButton : public CHotSwitch {
public:
    CHotPowerButton();
    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;
};
