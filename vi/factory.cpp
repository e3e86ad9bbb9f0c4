// The window factory: window type number -> window object with its models.
#include "device/kobface.h"
#include "vi/basevi.h"
#include "vi/digio/digvi.h"

namespace {

using ViMaker = CBaseVI* (*)(CKobface& device, uint32_t type);

CBaseVI* MakeDig(CKobface& k, uint32_t) {
    return CreateDigVI(k.m_pDigIO, k.m_pRelays);
}
// The windows whose classes come later open as plain windows meanwhile.
CBaseVI* MakePlain(CKobface&, uint32_t) {
    return new CBaseVI;
}

struct ViType {
    uint32_t first;
    uint32_t last;
    ViMaker make;
};

constexpr ViType kViTypes[] = {
    {11, 14, MakeDig},   // CDigVI: digital I/O, relays
    {21, 22, MakeDig},   // CDigVI
    {31, 31, MakePlain}, // CFuncGenVI: function generator
    {33, 33, MakePlain}, // CFuncGenFormVI
    {35, 35, MakePlain}, // CFuncGenDCVI
    {36, 36, MakePlain}, // CFuncGenPulseVI
    {41, 41, MakePlain}, // CAllDcVI: three-phase generator
    {42, 42, MakePlain}, // CAllAcVI
    {43, 43, MakePlain}, // CMotorDcVI
    {48, 48, MakePlain}, // C3PhaseVI
    {51, 51, MakePlain}, // CScopeVI: scope
    {60, 60, MakePlain}, // CCalibrateVI: function generator, meter
    {61, 62, MakePlain}, // CMeterVI: meter, flag for 61
    {63, 64, MakePlain}, // CAmpereMeterVI: meter, flag for 63
    {65, 66, MakePlain}, // CDBMeterVI: meter, flag for 65
    {67, 67, MakePlain}, // CPowerMeterVI
    {68, 68, MakePlain}, // CSwrMeterVI
    {69, 69, MakePlain}, // CTemperatureVI
    {70, 72, MakePlain}, // CMetraHitVI: hand-held meter, variant type - 69
};

constexpr uint32_t kMetraHitFirst = 70;
constexpr uint32_t kMetraHitLast = 72;

} // namespace

CBaseVI* CKobface::CreateInstrumentWindow(uint32_t& type) {
    const uint32_t asked = type;
    if (asked >= kMetraHitFirst && asked <= kMetraHitLast) {
        type = kMetraHitFirst; // one class; the variant comes from the type asked
    }
    for (const ViType& t : kViTypes) {
        if (asked >= t.first && asked <= t.last) {
            return t.make(*this, asked);
        }
    }
    return new CBaseVI;
}
