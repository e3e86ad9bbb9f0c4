// Whatever the box answers to a scope, meter, digital port or hand-held
// meter read, and whatever a stored file holds for the models' settings,
// the models end with values or an exception, never read or write out of
// bounds, and leave the buffers within their size.
//
// Input: one byte choosing the box model (bit 0) and the operation (the
// rest), then the box's reply or the stored bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/kobface.h"
#include "framework/archive.h"
#include "instruments/digio/digio.h"
#include "instruments/handheld/handheld.h"
#include "instruments/meter/meter.h"
#include "instruments/relays/relays.h"
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

void CheckDigIO(const CDigIO& d) {
    if (d.m_Buffer.size() < d.m_wCount || d.m_wIndex > d.m_wCount) {
        std::abort();
    }
}

void CheckHandheld(const CMetraHit& m) {
    if (m.Display().size() > 8 || !m.m_pszMode || !m.m_pszUnit || m.m_nKind > 9) {
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
    const int op = (data[0] >> 1) % 11;
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
    CDigIO dig(&kobface);
    CRelays relays(&kobface);
    CMetraHit handheld(&kobface);
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
        case 5: {
            CArchive ar(data, size);
            meter.Serialize(ar);
            break;
        }
        case 6:
            // Records of all three families, one after another.
            while (handheld.ReadFormat1() || handheld.ReadFormat2() || handheld.ReadFormat3()) {
            }
            break;
        case 7: {
            std::vector<uint16_t> words(dig.RequestOnline());
            dig.ReadOnlineWords(words);
            break;
        }
        case 8: {
            CArchive ar(data, size);
            dig.Serialize(ar);
            Bytes again;
            CArchive store(again);
            dig.Serialize(store);
            break;
        }
        case 9: {
            CArchive ar(data, size);
            relays.Serialize(ar);
            break;
        }
        default: {
            CArchive ar(data, size);
            handheld.Serialize(ar);
            break;
        }
        }
    } catch (const CException&) {
    }
    CheckDigIO(dig);
    CheckHandheld(handheld);
    CheckBuffer(g_ScopeBufferA);
    CheckBuffer(g_ScopeBufferB);
    return 0;
}
