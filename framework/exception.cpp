#include "framework/exception.h"

#include <cfenv>

#include "framework/strings.h"

namespace {

bool CopyMessage(const WString& text, char16_t* buffer, unsigned size) {
    if (buffer && size > 0) {
        size_t n = text.size() < size - 1 ? text.size() : size - 1;
        text.copy(buffer, n);
        buffer[n] = 0;
    }
    return !text.empty();
}

} // namespace

bool CException::GetErrorMessage(char16_t* buffer, unsigned size, unsigned* helpContext) const {
    uint32_t id = MessageId();
    if (helpContext) {
        *helpContext = id;
    }
    return CopyMessage(LoadResString(id), buffer, size);
}

WString CException::GetErrorText() const {
    char16_t buffer[512];
    if (!GetErrorMessage(buffer, 512)) {
        return {};
    }
    return buffer;
}

namespace {
constexpr uint32_t kNoErrorMessage = 21020;
} // namespace

int CException::ReportError(unsigned style, unsigned messageId) const {
    WString text = GetErrorText();
    if (text.empty() && messageId != 0) {
        text = LoadResString(messageId);
    }
    if (text.empty()) {
        // Never an empty box: the user is at least told there is no text.
        text = LoadResString(kNoErrorMessage);
    }
    return platform::ShowMessage(text, style);
}

bool CCommException::GetErrorMessage(char16_t* buffer, unsigned size, unsigned* helpContext) const {
    uint32_t id = MessageId();
    if (helpContext) {
        *helpContext = id;
    }
    platform::DefaultBeep();
    return CopyMessage(LoadResString(id), buffer, size);
}

void ThrowCommException(uint32_t code) {
    throw CCommException(code);
}

uint32_t CArchiveException::MessageId() const {
    switch (m_cause) {
    case endOfFile:
        return 21001;
    case badClass:
        return 21002;
    case badSchema:
        return 21003;
    case badIndex:
        return 21004;
    case writeFailed:
        return 21005;
    default:
        return 21000;
    }
}

void ThrowArchiveException(CArchiveException::Cause cause) {
    throw CArchiveException(cause);
}

uint32_t CFPException::MessageId() const {
    return 21010 + static_cast<uint32_t>(m_nCode) - 1;
}

void ClearFPErrors() {
    std::feclearexcept(FE_ALL_EXCEPT);
}

void CheckFPErrors() {
    int raised = std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW);
    if (!raised) {
        return;
    }
    std::feclearexcept(FE_ALL_EXCEPT);
    platform::DefaultBeep();
    if (raised & FE_INVALID) {
        throw CFPException(CFPException::invalid);
    }
    if (raised & FE_DIVBYZERO) {
        throw CFPException(CFPException::divideByZero);
    }
    throw CFPException(CFPException::overflow);
}
