// Push buttons: the auto-repeating or single-shot button and the menu
// button, both a strip of two images (up, down).
#pragma once

#include <cstdint>

#include "vi/controls/image_cache.h"
#include "vi/controls/press.h"

class CHotButton : public CHotPressable {
public:
    CHotButton();
    explicit CHotButton(uint32_t bitmap);

    // Held with auto-repeat: commands while the button is down; without it:
    // one command when it is released over the button.
    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    uint32_t m_nBitmap;
    CStripRef m_Strip;
    uint32_t m_bRepeat = 1;

protected:
    void OnHeld(CBaseVI* wnd) override;

private:
    CRepeatTimer m_Repeat;
};

// A button that asks for a choice: a click posts its id, the window shows
// its choices and sets the value chosen, which the button then shows.
class CHotMenu : public CHotButton {
public:
    CHotMenu();

    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
    void Serialize(CArchive& ar) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    void SetValue(uint32_t value, const WString& text);
    uint32_t GetValue() const { return m_nValue; }

    uint32_t m_nMenu;
    platform::FontSpec m_Font;

private:
    uint32_t m_nValue = 0;
    WString m_strValue;
};
