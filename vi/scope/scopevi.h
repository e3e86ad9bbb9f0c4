// The oscilloscope window (type 51): both channels on a chart, driven by
// the worker's acquisition cycle, with its settings and the record's exports.
#pragma once

#include <cstdint>
#include <string>

#include "vi/basevi.h"
#include "vi/scope/chart.h"

class CScope;
class CKobDevice;

class CScopeVI : public CSizeableVI {
public:
    explicit CScopeVI(CKobDevice* scope);

    bool Init() override;
    void ReleaseResources() override;
    bool PollDevices(CStreamIO* stream) override;
    void Update(uintptr_t wParam, intptr_t lParam) override;
    CHotspot* CreateCustomHotspot(uint32_t a, uint32_t b, const platform::Rect& rc) override;
    void MoveHotspots(int32_t dx, int32_t dy) override;
    bool OnCommand(uint32_t id) override;
    void Serialize(CArchive& ar) override;

    // Writes the record shown: PNG, SVG or PDF picture, or CSV values, by
    // the name's extension; false (and nothing written) when it cannot.
    bool ExportRecord(const std::u16string& path);
    // Where the export buttons write (the extension is added).
    std::u16string m_strExportBase = u"scope";

    const ScopeRecord& Record() const { return m_Record; }
    CHotScopeChart* Chart() const { return m_pChart; }

private:
    void ShowSettings();
    void ShowRun();
    void Select(uint32_t id);
    void SetMenuText(uint32_t id, const std::u16string& text);
    void Step(uint32_t id);
    platform::Size PictureSize() const;
    void DrawPicture(platform::Gfx& dc) const;
    void Report(uint32_t message, const std::u16string& what);

    CScope* m_pScope = nullptr;
    CHotScopeChart* m_pChart = nullptr;
    ScopeRecord m_Record; // the window's thread only
    // Handed over from the worker's thread under g_csDevices.
    ScopeRecord m_Pending;
    bool m_bPending = false;
    uint32_t m_nSeen = 0; // the worker's thread only
    bool m_bCounted = false;
};

CBaseVI* CreateScopeVI(CKobDevice* scope);
