// IDigIO: the client's digital port and logic analyser through the method
// frame onto the digital I/O model. Keeps the count of the last Timing for
// Read.
#include <vector>

#include "instruments/digio/digio.h"
#include "server/frame.h"
#include "server/kobaltix.h"

namespace {

// A VT_ARRAY|VT_UI2 of n words (lower bound 0, zeros) put into a variant,
// its data locked while the object lives: whatever the reading fills in
// stays there when the line fails half-way.
class CWordArray {
public:
    CWordArray(VARIANT* out, uint32_t n) : m_pVariant(out) {
        VariantInit(out);
        SAFEARRAY* array = SafeArrayCreateVector(VT_UI2, 0, n);
        if (!array) {
            return;
        }
        out->vt = VT_ARRAY | VT_UI2;
        out->parray = array;
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
            m_pData = static_cast<uint16_t*>(data);
            m_bLocked = true;
        } else {
            VariantClear(out);
        }
    }
    ~CWordArray() {
        if (m_bLocked) {
            SafeArrayUnaccessData(m_pVariant->parray);
        }
    }
    CWordArray(const CWordArray&) = delete;
    CWordArray& operator=(const CWordArray&) = delete;
    // False when the array could not be made (out of memory).
    bool Ok() const { return m_bLocked; }
    uint16_t* Data() const { return m_pData; }

private:
    VARIANT* m_pVariant;
    uint16_t* m_pData = nullptr;
    bool m_bLocked = false;
};

// The table's data locked for reading while the object lives.
class CLockedTable {
public:
    explicit CLockedTable(SAFEARRAY* array) : m_pArray(array) {
        void* data = nullptr;
        if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
            m_pData = static_cast<const uint16_t*>(data);
            m_bLocked = true;
        }
    }
    ~CLockedTable() {
        if (m_bLocked) {
            SafeArrayUnaccessData(m_pArray);
        }
    }
    CLockedTable(const CLockedTable&) = delete;
    CLockedTable& operator=(const CLockedTable&) = delete;
    bool Ok() const { return m_bLocked; }
    const uint16_t* Data() const { return m_pData; }

private:
    SAFEARRAY* m_pArray;
    const uint16_t* m_pData = nullptr;
    bool m_bLocked = false;
};

// The wire carries the table's length as a word.
constexpr LONG kMaxPattern = 0xFFFF;

} // namespace

KOB_NESTED_IUNKNOWN(CKobaltix::XKobDigIO)

HRESULT CKobaltix::XKobDigIO::In(unsigned short* status) {
    return MethodFrame(m_pDevice, status != nullptr, [&] {
        *status = m_pDevice->ReadInputs();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Out(unsigned short status) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->WriteOutputs(status);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Timing(unsigned short timer, unsigned short count,
                                     unsigned char online) {
    // Kept for Read even while there is no model.
    m_wCount = count;
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SetTiming(timer, count, online != 0);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Trigger(unsigned short mask, unsigned short trigger) {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SetTrigger(mask, trigger);
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Pattern(VARIANT* table) {
    return MethodFrame(m_pDevice, table != nullptr, [&]() -> HRESULT {
        // Anything but a table of words held in the variant itself (a
        // reference included) is the wrong type: a success code, nothing
        // sent.
        if (table->vt != (VT_ARRAY | VT_UI2)) {
            return S_FALSE;
        }
        SAFEARRAY* array = table->parray;
        if (!array) {
            return E_POINTER;
        }
        if (SafeArrayGetDim(array) < 1 || SafeArrayGetElemsize(array) != sizeof(uint16_t)) {
            return S_FALSE;
        }
        LONG lo = 0;
        LONG hi = -1;
        SafeArrayGetLBound(array, 1, &lo);
        SafeArrayGetUBound(array, 1, &hi);
        const LONG n = hi >= lo ? hi - lo + 1 : 0;
        if (n > kMaxPattern) {
            return E_INVALIDARG;
        }
        CLockedTable values(array);
        if (!values.Ok()) {
            return E_INVALIDARG;
        }
        const std::vector<uint16_t> lengths(static_cast<size_t>(n), 1);
        m_pDevice->WritePattern(static_cast<uint16_t>(n), values.Data(), lengths.data());
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Start() {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->SendSetup();
        m_pDevice->StartAnalyser();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Stop() {
    return MethodFrame(m_pDevice, true, [&] {
        m_pDevice->StopAnalyser();
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Status(DigStatus* status) {
    return MethodFrame(m_pDevice, status != nullptr, [&] {
        *status = static_cast<DigStatus>(m_pDevice->GetStatus());
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::Read(VARIANT* data) {
    return MethodFrame(m_pDevice, data != nullptr, [&] {
        CWordArray words(data, m_wCount);
        if (!words.Ok()) {
            return E_OUTOFMEMORY;
        }
        m_pDevice->ReadMemory(m_wCount, words.Data());
        return S_OK;
    });
}

HRESULT CKobaltix::XKobDigIO::ReadOnline(VARIANT* data) {
    return MethodFrame(m_pDevice, data != nullptr, [&] {
        const uint16_t n = m_pDevice->RequestOnline();
        CWordArray words(data, n);
        if (!words.Ok()) {
            return E_OUTOFMEMORY;
        }
        m_pDevice->ReadOnlineWords({words.Data(), n});
        return S_OK;
    });
}
