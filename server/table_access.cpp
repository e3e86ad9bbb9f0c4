#include "server/table_access.h"

CTableAccess::CTableAccess(SAFEARRAY* array) : m_pArray(array) {
    if (SafeArrayGetElemsize(array) != sizeof(double)) {
        return;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data)) || !data) {
        return;
    }
    size_t count = 1;
    for (UINT d = 0; d < array->cDims; ++d) {
        count *= array->rgsabound[d].cElements;
    }
    m_pData = static_cast<const double*>(data);
    m_nCount = array->cDims ? count : 0;
}

CTableAccess::~CTableAccess() {
    if (m_pData) {
        SafeArrayUnaccessData(m_pArray);
    }
}

WString FromBstr(BSTR text) {
    return text ? WString(reinterpret_cast<const char16_t*>(text), SysStringLen(text)) : WString();
}
