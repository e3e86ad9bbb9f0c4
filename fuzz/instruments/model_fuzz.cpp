// Whatever the box answers to a scope or meter read, and whatever a stored
// file holds for their settings, the models end with values or an
// exception, never read or write out of bounds, and leave the buffers
// within their size.
//
// Input: one byte choosing the box model (bit 0) and the operation (the
// rest), then the box's reply or the stored bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/meter/meter.h"
#include "instruments/scope/scope.h"
#include "support/scripted_stream.h"
#include "support/silent_ui.h"

namespace {

void CheckBuffer(const CScopeBuffer& b) {
    if (b.m_nCount > kScopeBufferSamples || b.m_nIndex >= static_cast<int32_t>(b.m_nCount) ||
        b.m_nIndex < -1) {
        std::abort();
    }
}

void Clear(VARIANT& v) {
    if (v.vt == (VT_ARRAY | VT_R8)) {
        VariantClear(&v);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SilentUi ui;
    platform::SetUiHandler(&ui);
    if (size < 1) {
        return 0;
    }
    g_byModel = (data[0] & 1) ? 2 : 1;
    const int op = (data[0] >> 1) % 6;
    ++data;
    --size;
    // Settings a stored file may leave out of range.
    g_nRangeA = size > 0 ? data[0] % 20 : 8;
    g_nRangeB = 8;
    g_nCouplingA = 0;
    g_nCouplingB = size > 1 ? data[1] % 4 : 0;
    g_nTimeBaseApplied = 9;
    g_wBufferSize = size > 2 ? data[2] : 2048;

    CKobface kobface;
    auto* stream = new ScriptedStream;
    kobface.SetStream(stream);
    stream->Reply(Bytes(data, data + size));
    CScope scope(&kobface);
    CKobMeter meter(&kobface);
    try {
        switch (op) {
        case 0: {
            MeterRecord a, b;
            meter.ReadValues(a, b);
            break;
        }
        case 1: {
            VARIANT a, b;
            (void)scope.ReadOnlineArrays(&a, &b);
            Clear(a);
            Clear(b);
            break;
        }
        case 2:
            while (scope.ReadOnlineToBuffers()) {
            }
            break;
        case 3:
            scope.ReadMemoryToBuffers();
            break;
        case 4: {
            CArchive ar(data, size);
            scope.Serialize(ar);
            break;
        }
        default: {
            CArchive ar(data, size);
            meter.Serialize(ar);
            break;
        }
        }
    } catch (const CException&) {
    }
    CheckBuffer(g_ScopeBufferA);
    CheckBuffer(g_ScopeBufferB);
    return 0;
}
