// The window factory: window type number -> window object with its models.
#include "vi/factory.h"
#include "device/kobface.h"
#include "vi/basevi.h"
#include "vi/digio/digvi.h"

namespace {

using ViMaker = CBaseVI* (*)(CKobface& device, uint32_t type);

CBaseVI* MakeDig(CKobface& k, uint32_t) {
    return CreateDigVI(k.m_pDigIO, k.m_pRelays);
}

struct ViType {
    uint32_t first;
    uint32_t last;
    ViMaker make;
};

constexpr ViType kViTypes[] = {
    {11, 14, MakeDig},                // CDigVI: digital I/O, relays
    {21, 22, MakeDig},                // CDigVI
    {31, 31, CreateFuncGenWindow},    // CFuncGenVI: function generator
    {33, 33, CreateFuncGenWindow},    // CFuncGenFormVI
    {35, 35, CreateFuncGenWindow},    // CFuncGenDCVI
    {36, 36, CreateFuncGenWindow},    // CFuncGenPulseVI
    {41, 41, CreateThreePhaseWindow}, // CAllDcVI: three-phase generator
    {42, 42, CreateThreePhaseWindow}, // CAllAcVI
    {43, 43, CreateThreePhaseWindow}, // CMotorDcVI
    {48, 48, CreateThreePhaseWindow}, // C3PhaseVI
    {51, 51, CreateScopeWindow},      // CScopeVI: scope
    {60, 60, CreateCalibrateWindow},  // CCalibrateVI: function generator, meter
    {61, 62, CreateMeterWindow},      // CMeterVI: meter, flag for 61
    {63, 64, CreateMeterWindow},      // CAmpereMeterVI: meter, flag for 63
    {65, 66, CreateMeterWindow},      // CDBMeterVI: meter, flag for 65
    {67, 67, CreateMeterWindow},      // CPowerMeterVI
    {68, 68, CreateMeterWindow},      // CSwrMeterVI
    {69, 69, CreateMeterWindow},      // CTemperatureVI
    {70, 72, CreateMetraHitWindow},   // CMetraHitVI: hand-held meter, variant type - 69
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
