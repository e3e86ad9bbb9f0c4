// The automation interfaces of the module, as widl declares them from
// KobLabVIEW.idl.
#pragma once

#include "platform/com/interfaces.h"
#include "platform/com/oleauto.h"

#include "KobLabVIEW_h.h"
