// Makes the model of an instrument type. A type whose model is not built
// yet gets none: the box is still told about it.
#include "device/kobface.h"
#include "instruments/device_base.h"

CKobDevice* CreateModel(uint8_t type, CKobface* owner) {
    (void)owner;
    switch (type) {
    default:
        return nullptr;
    }
}
