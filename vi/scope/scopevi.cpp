// The oscilloscope window: time base, ranges, couplings, trigger and runs on
// the panel; the chart shows what the worker's acquisition cycle brought.
#include "vi/scope/scopevi.h"

#include <algorithm>
#include <mutex>

#include "device/kobface.h"
#include "framework/exception.h"
#include "instruments/scope/scope.h"
#include "platform/export/export.h"
#include "platform/resource/resource.h"
#include "platform/ui/ui.h"
#include "vi/controls/buttons.h"
#include "vi/controls/displays.h"
#include "vi/controls/toggles.h"
#include "vi/factory.h"

namespace {

constexpr uint32_t kIdChart = 5400;
// Stepping: down, up (the id between), and the menu, which steps up and wraps.
constexpr uint32_t kIdTimeDown = 5401, kIdTimeMenu = 5403;
// Channel controls: down, up, menu, three couplings, show; B 7 ids after A.
constexpr uint32_t kIdRangeDown = 5404, kIdRangeMenu = 5406;
constexpr uint32_t kIdCoupling = 5407, kIdShow = 5410, kChannelIds = 7;
constexpr uint32_t kIdSource = 5420, kIdRising = 5423, kIdFalling = 5424;
constexpr uint32_t kIdLevelDown = 5425, kIdLevelUp = 5426, kIdLevelMenu = 5427;
constexpr uint32_t kIdPostDown = 5428, kIdPostMenu = 5430;
constexpr uint32_t kIdContinuous = 5431, kIdSingle = 5432, kIdRun = 5433, kIdOnline = 5434;
// The label showing a menu button's value has the button's id plus this.
constexpr uint32_t kIdMenuText = 100;
constexpr uint32_t kIdPng = 5440, kIdCsv = 5442, // SVG between them
    kIdCopy = 5443, kIdPrint = 5444;

constexpr uint32_t kMsgCannotWrite = 5400;
constexpr uint32_t kMsgNoClipboard = 5401;
constexpr uint32_t kMsgNotPrinted = 5402;

constexpr uint32_t kPostStep = 10; // percent per click
constexpr uint32_t kWorkspaceVersion = 1;
constexpr int32_t kLargestClient = 4096;

const TimeBaseRow& AppliedRow(uint32_t row) {
    const TimeBaseRow* table = g_pTimeBases;
    return (table ? table : g_aTimeBases1)[std::min(row, kTimeBaseRows)];
}

bool EndsWith(const std::u16string& s, const char16_t* tail) {
    const std::u16string t(tail);
    if (s.size() < t.size())
        return false;
    std::u16string end = s.substr(s.size() - t.size());
    for (char16_t& c : end)
        if (c >= u'A' && c <= u'Z')
            c = static_cast<char16_t>(c - u'A' + u'a');
    return end == t;
}

// The record in the buffers with what scales it, read on the worker's
// thread, where the buffers are written.
ScopeRecord ReadRecord() {
    ScopeRecord r;
    const uint32_t ranges[2] = {g_nRangeA, g_nRangeB};
    const uint32_t couplings[2] = {g_nCouplingA, g_nCouplingB};
    const CScopeBuffer* buffers[2] = {&g_ScopeBufferA, &g_ScopeBufferB};
    for (int c = 0; c < 2; ++c) {
        const CScopeBuffer& b = *buffers[c];
        const uint32_t n = std::min(b.m_nCount, kScopeBufferSamples);
        r.samples[c].assign(b.Front(), b.Front() + n);
        const bool known = ranges[c] < static_cast<uint32_t>(kRangeCount);
        r.fullScale[c] = known ? g_aRanges[ranges[c]].fullScale : 0.0;
        r.division[c] = known ? g_aRanges[ranges[c]].division : 1.0;
        r.grounded[c] = couplings[c] == kCouplingGround;
    }
    r.shown[0] = g_bShowA != 0;
    r.shown[1] = g_bShowB != 0;
    const bool model2 = g_byModel == 2;
    r.sampleMax = model2 ? 511 << 6 : 127 << 8;
    const TimeBaseRow& row = AppliedRow(g_nTimeBaseApplied);
    r.secondsPerDiv = row.secondsPerDiv;
    // values (model 1) or values - 1 (model 2) intervals make 10 divisions.
    const uint32_t steps = model2 && row.values > 1 ? row.values - 1u : row.values;
    r.sampleTime = steps ? kChartDivX * row.secondsPerDiv / steps : 0.0;
    return r;
}

} // namespace

CScopeVI::CScopeVI(CKobDevice* scope) : m_pScope(dynamic_cast<CScope*>(scope)) {
    m_Record.shown[0] = g_bShowA != 0;
    m_Record.shown[1] = g_bShowB != 0;
}

CHotspot* CScopeVI::CreateCustomHotspot(uint32_t a, uint32_t, const platform::Rect& rc) {
    if (a != kIdChart || m_pChart)
        return nullptr;
    m_pChart = new CHotScopeChart(m_Record);
    m_pChart->m_nTag = kTagCustom;
    m_pChart->m_nId = kIdChart;
    m_pChart->m_rcArea = rc;
    m_pChart->m_szImage = {rc.Width(), rc.Height()};
    return m_pChart;
}

bool CScopeVI::Init() {
    if (!m_bCounted) {
        m_bCounted = true;
        g_nScopeWindows.fetch_add(1, std::memory_order_relaxed);
    }
    ShowSettings();
    ShowRun();
    return CSizeableVI::Init();
}

void CScopeVI::ReleaseResources() {
    if (m_bCounted) {
        m_bCounted = false;
        g_nScopeWindows.fetch_sub(1, std::memory_order_relaxed);
    }
    m_pChart = nullptr; // deleted with the controls
    CSizeableVI::ReleaseResources();
}

bool CScopeVI::PollDevices(CStreamIO*) {
    if (!m_pScope || m_pScope->m_nRecords == m_nSeen)
        return false;
    m_nSeen = m_pScope->m_nRecords;
    ScopeRecord r = ReadRecord();
    std::lock_guard<CCriticalSection> lock(g_csDevices);
    m_Pending = std::move(r);
    m_bPending = true;
    return true;
}

void CScopeVI::Update(uintptr_t wParam, intptr_t) {
    {
        std::lock_guard<CCriticalSection> lock(g_csDevices);
        if (m_bPending) {
            m_Record = std::move(m_Pending);
            m_bPending = false;
        }
    }
    if (m_pChart)
        DrawNow(m_pChart);
    if (wParam == kNotifySingleShot)
        ShowRun();
    if (CHotStatus* lamp = dynamic_cast<CHotStatus*>(FindHotspot(kTagStatus, kIdOnline)))
        if (lamp->SetOn(AppliedRow(g_nTimeBaseApplied).online != 0))
            DrawNow(lamp);
}

// Selects a radio button unless it is selected already (each selection
// draws its whole group again).
void CScopeVI::Select(uint32_t id) {
    auto* radio = dynamic_cast<CHotToggle*>(FindHotspot(kTagRadio, id));
    if (radio && !radio->m_bChecked)
        MarkRadio(id);
}

void CScopeVI::SetMenuText(uint32_t id, const std::u16string& text) {
    auto* label = dynamic_cast<CHotLabel*>(FindHotspot(kTagLabel, id + kIdMenuText));
    CHotspot* menu = FindHotspot(kTagMenu, id);
    if (!label || !menu || label->m_strText == text)
        return;
    label->m_strText = text;
    menu->Invalidate(this, true); // the button with its label on top
}

// The panel after a setting changed: every control from the settings.
void CScopeVI::ShowSettings() {
    const uint32_t row = std::min<uint32_t>(g_nTimeBase, kTimeBaseRows - 1);
    SetMenuText(kIdTimeMenu, FormatUnit(AppliedRow(row).secondsPerDiv, u"s/div"));
    const uint32_t ranges[2] = {g_nRangeA, g_nRangeB};
    const uint32_t couplings[2] = {g_nCouplingA, g_nCouplingB};
    const bool shown[2] = {g_bShowA != 0, g_bShowB != 0};
    for (uint32_t c = 0; c < 2; ++c) {
        const uint32_t base = c * kChannelIds;
        const uint32_t range = std::min<uint32_t>(ranges[c], kRangeCount - 1);
        SetMenuText(kIdRangeMenu + base, FormatUnit(g_aRanges[range].division, u"V/div"));
        Select(kIdCoupling + base + std::min<uint32_t>(couplings[c], 2));
        SetCheck(kIdShow + base, shown[c]);
        m_Record.shown[c] = shown[c];
    }
    const uint32_t source = m_pScope ? std::min<uint32_t>(m_pScope->m_nTriggerSource, 2) : 0;
    Select(kIdSource + source);
    Select(g_nTriggerMode == 1 ? kIdFalling : kIdRising);
    SetMenuText(kIdLevelMenu, Widen(std::to_string(static_cast<int32_t>(g_nTriggerLevel)) + " %"));
    SetMenuText(kIdPostMenu, Widen(std::to_string(static_cast<uint32_t>(g_nPostTrigger)) + " %"));
    if (m_pChart)
        DrawNow(m_pChart);
}

void CScopeVI::ShowRun() {
    const bool single = m_pScope && m_pScope->m_bSingle;
    const bool running = m_pScope && !m_pScope->m_bHold;
    Select(single ? kIdSingle : kIdContinuous);
    if (auto* run = dynamic_cast<CHotSwitch*>(FindHotspot(kIdRun))) {
        run->m_bOn = running ? 1 : 0;
        DrawNow(run);
    }
}

// The stepping buttons and the menus (a menu click steps up and wraps).
void CScopeVI::Step(uint32_t id) {
    CScope& s = *m_pScope;
    const auto next = [](uint32_t v, uint32_t count, bool up, bool wrap) {
        v = std::min(v, count - 1);
        if (up)
            return v + 1 < count ? v + 1 : wrap ? 0 : v;
        return v > 0 ? v - 1 : v;
    };
    if (id >= kIdTimeDown && id <= kIdTimeMenu) {
        s.SetTimeBase(next(g_nTimeBase, kTimeBaseRows, id != kIdTimeDown, id == kIdTimeMenu));
        return;
    }
    for (uint32_t c = 0; c < 2; ++c) {
        const uint32_t base = c * kChannelIds;
        if (id >= kIdRangeDown + base && id <= kIdRangeMenu + base) {
            const uint32_t r = next(c ? g_nRangeB : g_nRangeA, kRangeCount,
                                    id != kIdRangeDown + base, id == kIdRangeMenu + base);
            c ? s.SetRangeB(r) : s.SetRangeA(r);
            return;
        }
    }
    if (id == kIdLevelDown)
        s.LevelDown();
    else if (id == kIdLevelUp)
        s.LevelUp();
    else if (id >= kIdPostDown && id <= kIdPostMenu) {
        const uint32_t post = std::min<uint32_t>(g_nPostTrigger, 100);
        s.SetPostTrigger(id == kIdPostDown ? post - std::min(post, kPostStep)
                                           : std::min(post + kPostStep, 100u));
    }
}

bool CScopeVI::OnCommand(uint32_t id) {
    const uint32_t b = kChannelIds;
    if (id >= kIdPng && id <= kIdCsv) {
        const char16_t* ext[] = {u".png", u".svg", u".csv"};
        ExportRecord(m_strExportBase + ext[id - kIdPng]);
        return true;
    }
    if (id == kIdCopy) {
        auto pic = platform::CreatePicture(PictureSize().cx, PictureSize().cy);
        if (pic)
            DrawPicture(*pic);
        if (!pic || !platform::CopyToClipboard(pic->Read()))
            Report(kMsgNoClipboard, {});
        return true;
    }
    if (id == kIdPrint) {
        const std::u16string pdf = m_strExportBase + u".pdf";
        if (!platform::PrintPicture(
                m_strTitle, PictureSize(), [this](platform::Gfx& dc) { DrawPicture(dc); }, pdf))
            Report(kMsgNotPrinted, pdf);
        return true;
    }
    if (id == kIdShow || id == kIdShow + b) {
        auto* check = dynamic_cast<CHotToggle*>(FindHotspot(kTagCheck, id));
        const uint8_t on = check && check->m_bChecked ? 1 : 0;
        (id == kIdShow ? g_bShowA : g_bShowB) = on;
        m_Record.shown[id == kIdShow ? 0 : 1] = on != 0;
        if (m_pChart)
            DrawNow(m_pChart);
        return true;
    }
    if (!m_pScope)
        return CSizeableVI::OnCommand(id);
    CScope& s = *m_pScope;
    if (id >= kIdCoupling && id < kIdCoupling + 3)
        s.SetCouplingA(id - kIdCoupling);
    else if (id >= kIdCoupling + b && id < kIdCoupling + b + 3)
        s.SetCouplingB(id - kIdCoupling - b);
    else if (id >= kIdSource && id < kIdSource + 3)
        s.SetTriggerSource(id - kIdSource);
    else if (id == kIdRising || id == kIdFalling)
        s.SetTriggerMode(id == kIdFalling ? 1 : 0);
    else if (id == kIdContinuous || id == kIdSingle)
        s.m_bSingle = id == kIdSingle ? 1 : 0;
    else if (id == kIdRun) {
        auto* run = dynamic_cast<CHotSwitch*>(FindHotspot(kIdRun));
        s.m_bHold = run && run->m_bOn ? 0 : 1;
    } else if ((id >= kIdTimeDown && id <= kIdRangeMenu) ||
               (id >= kIdRangeDown + b && id <= kIdRangeMenu + b) ||
               (id >= kIdLevelDown && id <= kIdPostMenu))
        Step(id);
    else
        return CSizeableVI::OnCommand(id);
    ShowSettings();
    return true;
}

void CScopeVI::MoveHotspots(int32_t dx, int32_t dy) {
    if (!m_pChart)
        return;
    // The chart takes the new room; the controls right of it keep their
    // distance to the right edge.
    const int32_t edge = m_pChart->m_rcArea.right;
    for (auto& h : m_Hotspots) {
        if (h.get() == m_pChart)
            continue;
        if (h->m_rcArea.left >= edge)
            h->m_rcArea = h->m_rcArea.Offset(dx, 0);
    }
    m_pChart->m_rcArea.right += dx;
    m_pChart->m_rcArea.bottom += dy;
    if (m_pChart->m_nCursorX >= m_pChart->m_rcArea.right)
        m_pChart->m_nCursorX = -1;
}

platform::Size CScopeVI::PictureSize() const {
    if (!m_pChart)
        return {501, 431};
    return {m_pChart->m_rcArea.Width(), m_pChart->m_rcArea.Height()};
}

void CScopeVI::DrawPicture(platform::Gfx& dc) const {
    const platform::Size size = PictureSize();
    dc.FillRect({0, 0, size.cx, size.cy}, platform::Rgb(236, 236, 232));
    const int32_t cursor =
        m_pChart && m_pChart->m_nCursorX >= 0 ? m_pChart->m_nCursorX - m_pChart->m_rcArea.left : -1;
    DrawScopeChart(dc, {0, 0, size.cx, size.cy}, m_Record, cursor);
}

bool CScopeVI::ExportRecord(const std::u16string& path) {
    bool ok = false;
    const platform::Size size = PictureSize();
    const auto draw = [this](platform::Gfx& dc) { DrawPicture(dc); };
    if (EndsWith(path, u".csv")) {
        ok = WriteRecordCsv(m_Record, path);
    } else if (EndsWith(path, u".svg") || EndsWith(path, u".pdf")) {
        const auto kind =
            EndsWith(path, u".svg") ? platform::DocumentKind::Svg : platform::DocumentKind::Pdf;
        ok = platform::WriteDocument(kind, path, size, draw);
    } else if (EndsWith(path, u".png")) {
        auto pic = platform::CreatePicture(size.cx, size.cy);
        if (pic) {
            draw(*pic);
            ok = platform::WritePng(pic->Read(), path);
        }
    }
    if (!ok)
        Report(kMsgCannotWrite, path);
    return ok;
}

void CScopeVI::Report(uint32_t message, const std::u16string& what) {
    platform::ShowMessage(FormatText(platform::LoadResourceString(message), {what}));
}

void CScopeVI::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        const int32_t cursor = m_pChart ? m_pChart->m_nCursorX : -1;
        ar << kWorkspaceVersion << cursor << m_nClientWidth << m_nClientHeight;
        return;
    }
    if (ar.GetObjectSchema() < 4)
        return;
    uint32_t version = 0, width = 0, height = 0;
    int32_t cursor = -1;
    ar >> version >> cursor >> width >> height;
    if (version != kWorkspaceVersion)
        ThrowArchiveException(CArchiveException::badSchema);
    // A size below the panel's or beyond any screen keeps the panel's size.
    const bool fits = width >= m_nClientWidth && height >= m_nClientHeight &&
                      width <= kLargestClient && height <= kLargestClient;
    if (fits && Wnd() && (width != m_nClientWidth || height != m_nClientHeight))
        Wnd()->SetClientSize(static_cast<int32_t>(width), static_cast<int32_t>(height));
    if (m_pChart)
        m_pChart->m_nCursorX =
            m_pChart->m_rcArea.Contains({cursor, m_pChart->m_rcArea.top}) ? cursor : -1;
}

CBaseVI* CreateScopeVI(CKobDevice* scope) {
    return new CScopeVI(scope);
}

CBaseVI* CreateScopeWindow(CKobface& device, uint32_t) {
    return CreateScopeVI(device.m_pScope);
}
