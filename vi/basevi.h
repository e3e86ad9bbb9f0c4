// The instrument window: a drawn front panel made from a panel resource,
// with its controls, refreshed from the device models by the worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "framework/archive.h"
#include "framework/cmdtarget.h"
#include "framework/wstr.h"
#include "platform/gfx/gfx.h"
#include "platform/window/window.h"

class CHotspot;
class CKobface;
class CStreamIO;

// Window states.
inline constexpr uint32_t kViCreated = 0;
inline constexpr uint32_t kViOpen = 1;
inline constexpr uint32_t kViDestroyed = 2;

// The worker's notification codes (WM_COMMNOTIFY wParam).
inline constexpr uintptr_t kNotifyScopeData = 4;
inline constexpr uintptr_t kNotifySingleShot = 7;
inline constexpr uintptr_t kNotifyChangesSent = 9;
inline constexpr uintptr_t kNotifyMeterValues = 0x50;

class CBaseVI : public CCmdTarget, public platform::WindowHandler {
public:
    CBaseVI();
    ~CBaseVI() override;
    CBaseVI(const CBaseVI&) = delete;
    CBaseVI& operator=(const CBaseVI&) = delete;

    virtual bool CanOpen() { return true; }
    virtual bool Init();
    virtual void ReleaseResources();
    virtual void Update(uintptr_t wParam, intptr_t lParam);
    virtual bool PollDevices(CStreamIO* stream);
    virtual void OnRemove(CKobface* device);
    virtual bool LoadRequirements(CArchive& ar);
    virtual void LoadPanel(CArchive& ar);
    virtual void Delete();
    virtual CHotspot* CreateHotspot(uint32_t a, uint32_t b, uint32_t tag);
    virtual CHotspot* CreateCustomHotspot(uint32_t a, uint32_t b, const platform::Rect& rc);
    virtual void UpdateCursor(CHotspot* control);
    virtual void OnPress() {}
    virtual void Draw(platform::Gfx& dc);

    // Creates the platform window (hidden); false when that fails.
    virtual bool CreateWnd(platform::Window* parent);
    platform::Window* Wnd() const { return m_pWnd.get(); }
    // The window still exists.
    bool IsWindow() const { return m_pWnd && m_pWnd->IsAlive(); }

    // Control lookups (first match in list order, or null).
    CHotspot* FindHotspot(uint32_t id) const;
    CHotspot* FindHotspot(uint32_t tag, uint32_t id) const;
    CHotspot* HotspotAt(platform::Point p) const;
    void RemoveHotspot(CHotspot* control);
    void DeleteAllHotspots();

    // platform::WindowHandler
    void OnPaint(platform::Gfx& dc) override;
    void OnLButtonDown(platform::Point p) override;
    bool OnSetCursor(platform::Point p) override;
    bool OnCommand(uint32_t id) override;
    void OnCommNotify(uintptr_t code, intptr_t param) override;
    void OnHelp() override;
    void OnDestroy() override;
    void OnPostDestroy() override;

    uint32_t m_nClientHeight = 0;
    uint32_t m_nClientWidth = 0;
    uint32_t m_nType = 0;
    uint32_t m_nHelpId = 0;
    WString m_strTitle;
    uint32_t m_bImage = 0;
    uint32_t m_nTexture = 0;
    WString m_strImage;
    uint32_t m_dwPanelExtra = 0;
    CHotspot* m_pPressed = nullptr;
    uint32_t m_adwNeeds[10] = {};
    std::atomic<uint32_t> m_nState{kViCreated}; // read by the worker
    std::vector<std::unique_ptr<CHotspot>> m_Hotspots;

    // Polling pause: the worker skips the window for m_nPauseMs after the
    // tick m_dwPauseStart.
    std::atomic<uint32_t> m_nPauseMs{0};
    std::atomic<uint32_t> m_dwPauseStart{0};

    // Further control lookups and group operations.
    static constexpr uint32_t kAnyId = 0xFFFFFFFFu;
    // Moves the control with the id and the ones after it up to the next
    // group start; false when there is no such control.
    bool MoveHotspotGroup(uint32_t id, int32_t dx, int32_t dy);
    // Redraws the controls with the tag (and the id unless kAnyId) now.
    void RedrawHotspots(uint32_t tag, uint32_t id = kAnyId);
    // Checks or clears the check box with the id; redrawn when it changed.
    void SetCheck(uint32_t id, bool checked);
    // Selects the radio button with the id and clears the others of its
    // group (its radio button neighbours in the list).
    void MarkRadio(uint32_t id);
    void SelectRadio(CHotspot* radio);
    // Sets the value the menu button with the id shows.
    void SetMenuValue(uint32_t id, uint32_t value);
    // The help topic of the window.
    uint32_t HelpTopic() const { return m_nHelpId ? m_nHelpId : 10000 + m_nType; }

protected:
    // Draws the controls through a client-area context at once.
    void DrawNow(CHotspot* control);

    std::unique_ptr<platform::Window> m_pWnd;

private:
    // The need words are in g_adwInUse (taken back exactly once).
    bool m_bClaimed = false;
};

class CSizeableVI : public CBaseVI {
public:
    bool Init() override;
    bool CreateWnd(platform::Window* parent) override;
    // The client area changed size by dx, dy: move or stretch the controls.
    virtual void MoveHotspots(int32_t dx, int32_t dy) = 0;

    void OnSize(int32_t clientWidth, int32_t clientHeight) override;
    platform::Size MinTrackSize() override;

    uint32_t m_nMinWidth = 0;
    uint32_t m_nMinHeight = 0;
};

// Resources held by all open windows (OR of their first eight need words).
extern uint32_t g_adwInUse[8];
// First word of the last panel resource read.
extern uint32_t g_dwPanelHeader;

// The host's main window (raised when an instrument window closes, parent
// of new ones); null without one.
extern platform::Window* g_pViMainWindow;

// Where the platform windows and the panel resources come from; tests put
// fakes here.
using ViWindowMaker = std::unique_ptr<platform::Window> (*)(platform::WindowHandler& handler,
                                                            platform::WindowStyle style,
                                                            platform::Window* parent);
using ViPanelLoader = std::optional<std::vector<uint8_t>> (*)(uint16_t type);
extern ViWindowMaker g_pfnMakeViWindow;
extern ViPanelLoader g_pfnLoadPanel;
