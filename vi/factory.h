// The window factory's makers, one per window family (vi/<family>/).
#pragma once

#include <cstdint>

class CBaseVI;
class CKobface;

// Each returns the window of window type `type` of its family with the
// models it needs from `device`; a model may be null and the window copes.
CBaseVI* CreateFuncGenWindow(CKobface& device, uint32_t type);    // 31, 33, 35, 36
CBaseVI* CreateThreePhaseWindow(CKobface& device, uint32_t type); // 41, 42, 43, 48
CBaseVI* CreateScopeWindow(CKobface& device, uint32_t type);      // 51
CBaseVI* CreateCalibrateWindow(CKobface& device, uint32_t type);  // 60
CBaseVI* CreateMeterWindow(CKobface& device, uint32_t type);      // 61-69
CBaseVI* CreateMetraHitWindow(CKobface& device, uint32_t type);   // 70-72
