// The doubles of a client's table VARIANT, locked while the object lives,
// so that every way out of a method unlocks them.
#pragma once

#include <span>

#include "framework/wstr.h"
#include "platform/com/oleauto.h"

class CTableAccess {
public:
    // array must not be null.
    explicit CTableAccess(SAFEARRAY* array);
    ~CTableAccess();
    CTableAccess(const CTableAccess&) = delete;
    CTableAccess& operator=(const CTableAccess&) = delete;

    // False when the array's data could not be locked or its elements are
    // not doubles.
    bool Ok() const { return m_pData != nullptr; }
    std::span<const double> Values() const { return {m_pData, m_nCount}; }

private:
    SAFEARRAY* m_pArray;
    const double* m_pData = nullptr;
    size_t m_nCount = 0;
};

// Runs send(values) on the doubles of a client's table, locked meanwhile:
// wrongType for a variant that holds no array of doubles, E_POINTER for one
// without its array.
template <class Send> HRESULT WithTable(const VARIANT& table, HRESULT wrongType, Send&& send) {
    if (table.vt != (VT_ARRAY | VT_R8)) {
        return wrongType;
    }
    if (!table.parray) {
        return E_POINTER;
    }
    CTableAccess values(table.parray);
    if (!values.Ok()) {
        return wrongType;
    }
    return send(values.Values());
}

// A BSTR as the system's string (null gives the empty string).
WString FromBstr(BSTR text);
