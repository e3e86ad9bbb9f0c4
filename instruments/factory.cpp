// Makes the model of an instrument type. A type whose model is not built
// yet gets none: the box is still told about it.
#include "device/kobface.h"
#include "instruments/device_base.h"
#include "instruments/digio/digio.h"
#include "instruments/funcgen/funcgen.h"
#include "instruments/handheld/handheld.h"
#include "instruments/meter/meter.h"
#include "instruments/relays/relays.h"
#include "instruments/scope/scope.h"
#include "instruments/threephase/threephase.h"

CKobDevice* CreateModel(uint8_t type, CKobface* owner) {
    switch (type) {
    case kTypeFuncGen:
        return new CFuncGen(owner);
    case kType3PhaseGen:
        return new C3PhaseGen(owner);
    case kTypeScope:
        return new CScope(owner);
    case kTypeMeter:
        return new CKobMeter(owner);
    case kTypeCounter:
        return new CKobCounter(owner);
    case kTypeDigIO:
        return new CDigIO(owner);
    case kTypeRelays:
        return new CRelays(owner);
    case kTypeMetraHit:
        return new CMetraHit(owner);
    default:
        return nullptr;
    }
}
