// OLE Automation memory rules for POSIX: the same allocation, ownership and
// lock counting the system library applies, so that server code written
// against one behaves the same against the other.
#include "platform/com/oleauto.h"

#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// BSTR: a 32-bit byte count, the characters, a terminating zero.
uint32_t* Header(BSTR text) {
    return reinterpret_cast<uint32_t*>(text) - 1;
}

// Each descriptor carries 16 bytes in front; the element type is in the last
// four of them, as the system keeps it.
constexpr size_t kPrefix = 16;

VARTYPE* TypeSlot(SAFEARRAY* a) {
    return reinterpret_cast<VARTYPE*>(reinterpret_cast<uint8_t*>(a) - 4);
}

ULONG ElementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I1:
    case VT_UI1:
        return 1;
    case VT_I2:
    case VT_UI2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_UI4:
    case VT_R4:
    case VT_INT:
    case VT_UINT:
    case VT_ERROR:
        return 4;
    case VT_R8:
        return 8;
    case VT_BSTR:
        return sizeof(BSTR);
    case VT_UNKNOWN:
        return sizeof(IUnknown*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

// Elements in all dimensions; false when the count does not fit in memory.
bool CountElements(const SAFEARRAY* a, size_t& count) {
    count = 1;
    for (uint16_t i = 0; i < a->cDims; ++i) {
        size_t n = a->rgsabound[i].cElements;
        if (n != 0 && count > std::numeric_limits<size_t>::max() / n) {
            return false;
        }
        count *= n;
    }
    return a->cbElements == 0 || count <= std::numeric_limits<size_t>::max() / a->cbElements;
}

void ReleaseElements(SAFEARRAY* a) {
    size_t count = 0;
    if (!a->pvData || !CountElements(a, count)) {
        return;
    }
    if (a->fFeatures & FADF_BSTR) {
        auto* p = static_cast<BSTR*>(a->pvData);
        for (size_t i = 0; i < count; ++i) {
            SysFreeString(p[i]);
            p[i] = nullptr;
        }
    } else if (a->fFeatures & FADF_VARIANT) {
        auto* p = static_cast<VARIANT*>(a->pvData);
        for (size_t i = 0; i < count; ++i) {
            VariantClear(&p[i]);
        }
    } else if (a->fFeatures & FADF_UNKNOWN) {
        auto* p = static_cast<IUnknown**>(a->pvData);
        for (size_t i = 0; i < count; ++i) {
            if (p[i]) {
                p[i]->Release();
                p[i] = nullptr;
            }
        }
    }
}

constexpr VARTYPE kDispatch = 9;

// Types whose value needs no release: the number, date, currency and
// decimal types and the two empty ones.
bool PlainType(VARTYPE vt) {
    return vt <= 23 && vt != VT_BSTR && vt != 15;
}

} // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    if (length > (std::numeric_limits<uint32_t>::max() - 8) / sizeof(OLECHAR)) {
        return nullptr;
    }
    size_t bytes = static_cast<size_t>(length) * sizeof(OLECHAR);
    auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
    if (!block) {
        return nullptr;
    }
    block[0] = static_cast<uint32_t>(bytes);
    auto* out = reinterpret_cast<BSTR>(block + 1);
    if (text) {
        std::memcpy(out, text, bytes);
    } else {
        std::memset(out, 0, bytes);
    }
    out[length] = 0;
    return out;
}

BSTR SysAllocString(const OLECHAR* text) {
    if (!text) {
        return nullptr;
    }
    UINT n = 0;
    while (text[n]) {
        ++n;
    }
    return SysAllocStringLen(text, n);
}

void SysFreeString(BSTR text) {
    if (text) {
        std::free(Header(text));
    }
}

UINT SysStringByteLen(BSTR text) {
    return text ? *Header(text) : 0;
}
UINT SysStringLen(BSTR text) {
    return SysStringByteLen(text) / sizeof(OLECHAR);
}

void VariantInit(VARIANT* v) {
    if (v) {
        v->vt = VT_EMPTY;
        v->wReserved1 = v->wReserved2 = v->wReserved3 = 0;
    }
}

HRESULT VariantClear(VARIANT* v) {
    if (!v) {
        return E_INVALIDARG;
    }
    VARTYPE vt = v->vt;
    if (!(vt & VT_BYREF)) {
        if (vt & VT_ARRAY) {
            if (ElementSize(static_cast<VARTYPE>(vt & ~VT_ARRAY)) == 0) {
                return DISP_E_BADVARTYPE;
            }
            HRESULT hr = SafeArrayDestroy(v->parray);
            if (FAILED(hr)) {
                return hr;
            }
        } else if (vt == VT_BSTR) {
            SysFreeString(v->bstrVal);
        } else if (vt == VT_UNKNOWN || vt == kDispatch) {
            if (v->punkVal) {
                v->punkVal->Release();
            }
        } else if (!PlainType(vt)) {
            return DISP_E_BADVARTYPE;
        }
    }
    v->vt = VT_EMPTY;
    return S_OK;
}

HRESULT SafeArrayAllocDescriptor(UINT dims, SAFEARRAY** out) {
    if (!out) {
        return E_POINTER;
    }
    *out = nullptr;
    if (dims == 0 || dims > 0xFFFF) {
        return E_INVALIDARG;
    }
    size_t size = kPrefix + sizeof(SAFEARRAY) + (dims - 1) * sizeof(SAFEARRAYBOUND);
    auto* block = static_cast<uint8_t*>(std::calloc(1, size));
    if (!block) {
        return E_OUTOFMEMORY;
    }
    auto* a = reinterpret_cast<SAFEARRAY*>(block + kPrefix);
    a->cDims = static_cast<uint16_t>(dims);
    *out = a;
    return S_OK;
}

HRESULT SafeArrayAllocData(SAFEARRAY* a) {
    if (!a) {
        return E_INVALIDARG;
    }
    size_t count = 0;
    if (!CountElements(a, count)) {
        return E_OUTOFMEMORY;
    }
    void* data = std::calloc(count ? count : 1, a->cbElements ? a->cbElements : 1);
    if (!data) {
        return E_OUTOFMEMORY;
    }
    a->pvData = data;
    return S_OK;
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT dims, SAFEARRAYBOUND* bounds) {
    ULONG size = ElementSize(vt);
    if (!bounds || size == 0) {
        return nullptr;
    }
    SAFEARRAY* a = nullptr;
    if (FAILED(SafeArrayAllocDescriptor(dims, &a))) {
        return nullptr;
    }
    for (UINT i = 0; i < dims; ++i) {
        a->rgsabound[dims - 1 - i] = bounds[i];
    }
    a->cbElements = size;
    a->fFeatures = FADF_HAVEVARTYPE;
    if (vt == VT_BSTR) {
        a->fFeatures |= FADF_BSTR;
    } else if (vt == VT_VARIANT) {
        a->fFeatures |= FADF_VARIANT;
    } else if (vt == VT_UNKNOWN) {
        a->fFeatures |= FADF_UNKNOWN;
    }
    *TypeSlot(a) = vt;
    if (FAILED(SafeArrayAllocData(a))) {
        std::free(reinterpret_cast<uint8_t*>(a) - kPrefix);
        return nullptr;
    }
    return a;
}

SAFEARRAY* SafeArrayCreateVector(VARTYPE vt, LONG lowerBound, ULONG elements) {
    SAFEARRAYBOUND bound{elements, lowerBound};
    return SafeArrayCreate(vt, 1, &bound);
}

HRESULT SafeArrayDestroy(SAFEARRAY* a) {
    if (!a) {
        return S_OK;
    }
    if (a->cLocks > 0) {
        return DISP_E_ARRAYISLOCKED;
    }
    ReleaseElements(a);
    std::free(a->pvData);
    std::free(reinterpret_cast<uint8_t*>(a) - kPrefix);
    return S_OK;
}

HRESULT SafeArrayAccessData(SAFEARRAY* a, void** data) {
    if (!a || !data) {
        return E_INVALIDARG;
    }
    ++a->cLocks;
    *data = a->pvData;
    return S_OK;
}

HRESULT SafeArrayUnaccessData(SAFEARRAY* a) {
    if (!a) {
        return E_INVALIDARG;
    }
    if (a->cLocks == 0) {
        return E_UNEXPECTED;
    }
    --a->cLocks;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* a) {
    return a ? a->cDims : 0;
}
UINT SafeArrayGetElemsize(SAFEARRAY* a) {
    return a ? a->cbElements : 0;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* a, UINT dim, LONG* bound) {
    if (!a || !bound) {
        return E_INVALIDARG;
    }
    if (dim == 0 || dim > a->cDims) {
        return DISP_E_BADINDEX;
    }
    *bound = a->rgsabound[a->cDims - dim].lLbound;
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* a, UINT dim, LONG* bound) {
    if (!a || !bound) {
        return E_INVALIDARG;
    }
    if (dim == 0 || dim > a->cDims) {
        return DISP_E_BADINDEX;
    }
    const SAFEARRAYBOUND& b = a->rgsabound[a->cDims - dim];
    *bound = static_cast<LONG>(static_cast<int64_t>(b.lLbound) + b.cElements - 1);
    return S_OK;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* a, VARTYPE* vt) {
    if (!a || !vt) {
        return E_INVALIDARG;
    }
    if (a->fFeatures & FADF_HAVEVARTYPE) {
        *vt = *TypeSlot(a);
    } else if (a->fFeatures & FADF_BSTR) {
        *vt = VT_BSTR;
    } else if (a->fFeatures & FADF_VARIANT) {
        *vt = VT_VARIANT;
    } else if (a->fFeatures & FADF_UNKNOWN) {
        *vt = VT_UNKNOWN;
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}
