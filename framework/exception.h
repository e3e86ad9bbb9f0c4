// The exception family of the system, thrown by value and caught by
// reference. Each carries the id of the string that describes it.
#pragma once

#include <cstdint>

#include "framework/wstr.h"
#include "platform/ui/ui.h"

class CException {
public:
    virtual ~CException() = default;
    // Copies the message into buffer (cut to size characters, always
    // terminated); helpContext, when given, receives the message id.
    // False, with an empty buffer, when there is no text.
    virtual bool GetErrorMessage(char16_t* buffer, unsigned size,
                                 unsigned* helpContext = nullptr) const;
    // The message as a string (empty when there is none).
    WString GetErrorText() const;
    // Shows the message in a message box; without a text, the string
    // messageId (when not 0) stands in. Returns the box's result.
    int ReportError(unsigned style = platform::kMbOk, unsigned messageId = 0) const;
    // The string id that describes this exception.
    virtual uint32_t MessageId() const = 0;
};

// Communication with the box failed; codes 20009-20014.
class CCommException : public CException {
public:
    explicit CCommException(uint32_t code) : m_nError(code) {}
    bool GetErrorMessage(char16_t* buffer, unsigned size,
                         unsigned* helpContext = nullptr) const override;
    uint32_t MessageId() const override { return m_nError ? m_nError : 1505; }

    uint32_t m_nError;
};

[[noreturn]] void ThrowCommException(uint32_t code);

// A stored file could not be read or written.
class CArchiveException : public CException {
public:
    enum Cause {
        generic = 0,
        badIndex = 1,  // refers to an object or class the file does not hold
        badClass = 2,  // an unknown or unexpected class
        badSchema = 3, // a version this program cannot read
        endOfFile = 4, // the file ends inside a value
        writeFailed = 5,
    };
    explicit CArchiveException(Cause cause = generic) : m_cause(cause) {}
    uint32_t MessageId() const override;

    Cause m_cause;
};

[[noreturn]] void ThrowArchiveException(CArchiveException::Cause cause);

// A floating-point error: invalid operation, division by zero or overflow.
class CFPException : public CException {
public:
    enum Code { invalid = 1, divideByZero = 2, overflow = 3 };
    explicit CFPException(Code code) : m_nCode(code) {}
    uint32_t MessageId() const override;

    Code m_nCode;
};

// Clears the floating-point status flags before a computation.
void ClearFPErrors();
// After a computation: when FE_INVALID, FE_DIVBYZERO or FE_OVERFLOW is set,
// clears the flags, sounds the default beep and throws CFPException.
void CheckFPErrors();
