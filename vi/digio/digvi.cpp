// The digital I/O window: the 16 inputs as lamps and a number, the 16
// outputs bit by bit or stepped as a word, and the 8 relays.
#include "vi/digio/digvi.h"

#include "instruments/digio/digio.h"
#include "instruments/relays/relays.h"
#include "vi/controls/displays.h"
#include "vi/controls/seg7.h"
#include "vi/controls/toggles.h"

// Display settings shared by every digital I/O window and kept with the
// workspace.
bool g_bOutWordMode = false;
bool g_bInWordMode = false;
uint32_t g_nOutRadix = 0;
uint32_t g_nInRadix = 0;

namespace {

constexpr uint32_t kIdInputLamp = 4000;
constexpr uint32_t kIdOutputBit = 4020;
constexpr uint32_t kIdPlus1 = 4036, kIdPlus256 = 4037, kIdMinus1 = 4039, kIdMinus256 = 4040;
constexpr uint32_t kIdInDisplay = 4042, kIdOutDisplay = 4043;
constexpr uint32_t kIdOutBytes = 3000, kIdOutWord = 3001, kIdInBytes = 3002, kIdInWord = 3003;
constexpr uint32_t kIdInRadix = 3044, kIdOutRadix = 3047;
constexpr uint32_t kIdRelayOn = 4100, kIdRelayOff = 4108, kIdRelayToggle = 4116;
constexpr uint32_t kRadices = 3;

uint16_t StepLowByte(uint16_t word, int delta) {
    return static_cast<uint16_t>((word & 0xFF00) | ((word + delta) & 0xFF));
}

} // namespace

CDigVI::CDigVI(CKobDevice* digio, CKobDevice* relays)
    : m_pDigIO(dynamic_cast<CDigIO*>(digio)), m_pRelays(dynamic_cast<CRelays*>(relays)) {}

bool CDigVI::Init() {
    m_pOutDisplay = dynamic_cast<CHotDigSeg7*>(FindHotspot(kTagDigSeg7, kIdOutDisplay));
    m_pInDisplay = dynamic_cast<CHotDigSeg7*>(FindHotspot(kTagDigSeg7, kIdInDisplay));
    RefreshOutputs();
    RefreshInputs();
    MarkRadio(g_bOutWordMode ? kIdOutWord : kIdOutBytes);
    ApplyOutMode(g_bOutWordMode, true);
    MarkRadio(kIdOutRadix + g_nOutRadix);
    ApplyRadix(m_pOutDisplay, g_nOutRadix);
    MarkRadio(g_bInWordMode ? kIdInWord : kIdInBytes);
    ApplyInMode(g_bInWordMode);
    MarkRadio(kIdInRadix + g_nInRadix);
    ApplyRadix(m_pInDisplay, g_nInRadix);
    return CBaseVI::Init();
}

bool CDigVI::PollDevices(CStreamIO*) {
    bool changed = false;
    if (m_pDigIO) {
        m_pDigIO->SendChanges();
        // Against what is shown, not the last report: a notification that
        // timed out is then repeated until the window has drawn the inputs.
        const uint16_t inputs = m_pDigIO->ReadInputs();
        m_wInputs.store(inputs, std::memory_order_relaxed);
        changed = inputs != m_wShownInputs.load(std::memory_order_relaxed);
    }
    if (m_pRelays)
        m_pRelays->SendChanges();
    return changed;
}

void CDigVI::Update(uintptr_t, intptr_t) {
    RefreshInputs();
}

void CDigVI::RefreshOutputs() {
    const uint16_t word = g_wDigOut;
    for (uint32_t bit = 0; bit < 16; ++bit)
        SetCheck(kIdOutputBit + bit, (word >> bit) & 1);
    if (m_pOutDisplay) {
        m_pOutDisplay->SetValue(word);
        DrawNow(m_pOutDisplay);
    }
}

void CDigVI::RefreshInputs() {
    const uint16_t word = m_wInputs.load(std::memory_order_relaxed);
    m_wShownInputs.store(word, std::memory_order_relaxed);
    for (uint32_t bit = 0; bit < 16; ++bit)
        if (auto* lamp = dynamic_cast<CHotStatus*>(FindHotspot(kTagStatus, kIdInputLamp + bit)))
            if (lamp->SetOn((word >> bit) & 1))
                DrawNow(lamp);
    if (m_pInDisplay) {
        m_pInDisplay->SetValue(word);
        DrawNow(m_pInDisplay);
    }
}

void CDigVI::ApplyOutMode(bool wordMode, bool force) {
    if (!force && wordMode == g_bOutWordMode)
        return;
    g_bOutWordMode = wordMode;
    if (m_pOutDisplay) {
        m_pOutDisplay->SetMode(wordMode ? 1 : 0);
        DrawNow(m_pOutDisplay);
    }
    // The ±256 steps only make sense while the bytes are shown apart.
    for (uint32_t id : {kIdPlus256, kIdMinus256})
        if (CHotspot* b = FindHotspot(id)) {
            if (wordMode)
                b->m_dwFlags &= ~kHsVisible;
            else
                b->m_dwFlags |= kHsVisible;
            b->Invalidate(this, true);
        }
}

void CDigVI::ApplyInMode(bool wordMode) {
    g_bInWordMode = wordMode;
    if (m_pInDisplay) {
        m_pInDisplay->SetMode(wordMode ? 1 : 0);
        DrawNow(m_pInDisplay);
    }
}

void CDigVI::ApplyRadix(CHotDigSeg7* display, uint32_t radix) {
    if (display) {
        display->SetRadix(radix);
        DrawNow(display);
    }
}

void CDigVI::SetOutputs(uint16_t word) {
    g_wDigOut = word;
    if (m_pDigIO)
        m_pDigIO->SetChanged(1);
}

bool CDigVI::OnCommand(uint32_t id) {
    const uint16_t word = g_wDigOut;
    if (id == kIdPlus1 || id == kIdMinus1 || id == kIdPlus256 || id == kIdMinus256) {
        const int delta = id == kIdPlus1 ? 1 : id == kIdMinus1 ? -1 : 0;
        uint16_t next;
        if (delta == 0)
            next = static_cast<uint16_t>(word + (id == kIdPlus256 ? 0x100 : -0x100));
        else if (g_bOutWordMode)
            next = static_cast<uint16_t>(word + delta);
        else
            next = StepLowByte(word, delta);
        SetOutputs(next);
        RefreshOutputs();
        return true;
    }
    if (id >= kIdOutputBit && id < kIdOutputBit + 16) {
        const uint32_t bit = id - kIdOutputBit;
        SetOutputs(static_cast<uint16_t>(word ^ (1u << bit)));
        if (m_pOutDisplay) {
            m_pOutDisplay->SetValue(g_wDigOut);
            DrawNow(m_pOutDisplay);
        }
        RefreshInputs();
        return true;
    }
    if (id == kIdOutBytes || id == kIdOutWord) {
        ApplyOutMode(id == kIdOutWord, false);
        return true;
    }
    if (id == kIdInBytes || id == kIdInWord) {
        ApplyInMode(id == kIdInWord);
        return true;
    }
    if (id >= kIdInRadix && id < kIdInRadix + kRadices) {
        g_nInRadix = id - kIdInRadix;
        ApplyRadix(m_pInDisplay, g_nInRadix);
        return true;
    }
    if (id >= kIdOutRadix && id < kIdOutRadix + kRadices) {
        g_nOutRadix = id - kIdOutRadix;
        ApplyRadix(m_pOutDisplay, g_nOutRadix);
        return true;
    }
    if (id >= kIdRelayOn && id < kIdRelayToggle + 8) {
        const uint8_t mask = static_cast<uint8_t>(1u << ((id - kIdRelayOn) % 8));
        uint8_t relays = g_byRelays;
        relays = id < kIdRelayOff      ? relays | mask
                 : id < kIdRelayToggle ? relays & ~mask
                                       : relays ^ mask;
        g_byRelays = relays;
        CRelays::MarkRelaysChanged(0xFFFF);
        RedrawHotspots(kTagRelays);
        return true;
    }
    return CBaseVI::OnCommand(id);
}

void CDigVI::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << uint32_t{1} << uint8_t{g_bOutWordMode} << uint8_t{g_bInWordMode} << g_nInRadix
           << g_nOutRadix;
        return;
    }
    // A reopened window shows the output word: the box gets it as after a
    // click, whatever its outputs were before.
    if (m_pDigIO)
        m_pDigIO->SetChanged(1);
    // Workspaces before version 4 carry no part for this window.
    if (ar.GetObjectSchema() < 4)
        return;
    uint32_t version = 0, inRadix = 0, outRadix = 0;
    uint8_t outWord = 0, inWord = 0;
    ar >> version >> outWord >> inWord >> inRadix >> outRadix;
    g_bOutWordMode = outWord != 0;
    g_bInWordMode = inWord != 0;
    // A radix index outside the three would index past the radix table.
    g_nInRadix = inRadix < kRadices ? inRadix : 0;
    g_nOutRadix = outRadix < kRadices ? outRadix : 0;
}

CBaseVI* CreateDigVI(CKobDevice* digio, CKobDevice* relays) {
    return new CDigVI(digio, relays);
}
