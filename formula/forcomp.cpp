// The formula compiler: grammar, function table, errors and evaluation.
#include "formula/forcomp.h"

#include <algorithm>
#include <bit>
#include <cfenv>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstring>
#include <iterator>
#include <new>
#include <string>

#include "formula/opcodes.h"
#include "framework/exception.h"
#include "framework/strings.h"
#include "platform/ui/ui.h"

namespace {

// Raised inside the compiler and caught by Compile alone.
struct CompileError {
    int code;
};

struct NameRow {
    std::u16string_view name;
    uint8_t code;
    uint8_t kind;
};

// Sorted by name for the binary search.
constexpr NameRow kNames[] = {
    {u"ABS", CForComp::opAbs, 2},   {u"ACOS", CForComp::opAcos, 2}, {u"ASIN", CForComp::opAsin, 2},
    {u"ATAN", CForComp::opAtan, 2}, {u"COS", CForComp::opCos, 2},   {u"COSH", CForComp::opCosh, 2},
    {u"DEG", CForComp::opDeg, 2},   {u"EXP", CForComp::opExp, 2},   {u"FRC", CForComp::opFrc, 2},
    {u"GE", CForComp::opGe, 2},     {u"GT", CForComp::opGt, 2},     {u"IN", CForComp::opIn, 3},
    {u"INT", CForComp::opInt, 2},   {u"LE", CForComp::opLe, 2},     {u"LN", CForComp::opLn, 2},
    {u"LOG", CForComp::opLog, 2},   {u"LT", CForComp::opLt, 2},     {u"NEG", CForComp::opNeg, 2},
    {u"PHA", CForComp::opPha, 3},   {u"PI", CForComp::opPi, 1},     {u"POS", CForComp::opPos, 2},
    {u"PUL", CForComp::opPul, 3},   {u"PWM", CForComp::opPwm, 3},   {u"RAD", CForComp::opRad, 2},
    {u"RND", CForComp::opRnd, 2},   {u"SAW", CForComp::opSaw, 2},   {u"SGN", CForComp::opSgn, 2},
    {u"SIN", CForComp::opSin, 2},   {u"SINH", CForComp::opSinh, 2}, {u"SQR", CForComp::opSqr, 2},
    {u"SQRT", CForComp::opSqrt, 2}, {u"SQU", CForComp::opSqu, 2},   {u"TAN", CForComp::opTan, 2},
    {u"TANH", CForComp::opTanh, 2}, {u"TRI", CForComp::opTri, 2},
};
constexpr int kNameCount = 35;
static_assert(std::size(kNames) == kNameCount);

constexpr int kMaxNameLength = 19; // longer names are cut (and unknown anyway)
// Brackets, functions and negations open at once. The grammar is recursive;
// this keeps a hostile text from exhausting the thread's stack.
constexpr int kMaxNesting = 256;
constexpr double kDegree = 0.017453292519943295;
constexpr int kFPErrors = FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW;

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
bool IsLetter(char16_t c) {
    return c >= u'A' && c <= u'Z';
}

bool SpacesOnly(const char16_t* text) {
    while (*text == u' ') {
        ++text;
    }
    return *text == 0;
}

// Told from the bits: a comparison would raise a flag for a signalling NaN,
// and the compiler may move it across the calls that test the flags.
bool IsFinite(double v) {
    return (std::bit_cast<uint64_t>(v) >> 52 & 0x7FF) != 0x7FF;
}

// A result that is not a number or infinite must not reach a table, even
// when no flag told of it (a NaN given as X, for instance).
double CheckFinite(double v) {
    if (!IsFinite(v)) {
        platform::DefaultBeep();
        bool nan = (std::bit_cast<uint64_t>(v) & 0xFFFFFFFFFFFFFull) != 0;
        throw CFPException(nan ? CFPException::invalid : CFPException::overflow);
    }
    return v;
}

} // namespace

CForComp::CForComp() {
    m_pCode = new (std::nothrow) uint8_t[kCodeSize];
    m_nCapacity = m_pCode ? kCodeSize : 0;
}

CForComp::~CForComp() {
    if (m_bOwnsCode) {
        delete[] m_pCode;
    }
}

// ---- names ----

void CForComp::LookupName(std::u16string_view name, int* code, int& kind) {
    kind = kindNone;
    int low = 0;
    int high = kNameCount;
    while (low < high) {
        int middle = (low + high) / 2;
        int order = name.compare(kNames[middle].name);
        if (order == 0) {
            if (code) {
                *code = kNames[middle].code;
            }
            kind = kNames[middle].kind;
            return;
        }
        if (order < 0) {
            high = middle;
        } else {
            low = middle + 1;
        }
    }
    if (code) {
        LookupExtra(name, code, kind);
    }
}

void CForComp::LookupExtra(std::u16string_view name, int* code, int& kind) {
    if (name == u"X") {
        if (code) {
            *code = opX;
        }
        kind = kindConstant;
    }
}

bool CForComp::CompleteName(WString& name, int& caret) {
    int kind = kindNone;
    LookupName(name, nullptr, kind);
    caret = static_cast<int>(name.size());
    if (kind == kindFunction) {
        name += u"()";
        ++caret;
    } else if (kind == kindFunction2) {
        name += u"(;)";
        ++caret;
    }
    return kind == kindConstant || kind == kindFunction || kind == kindFunction2;
}

WString CForComp::ToUpper(std::u16string_view text) {
    WString upper(text);
    for (char16_t& c : upper) {
        // ASCII and the Latin-1 letters; the compiler knows A-Z only.
        if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) {
            c = static_cast<char16_t>(c - 0x20);
        }
    }
    return upper;
}

// ---- compiling ----

void CForComp::RaiseError(int code) {
    throw CompileError{code};
}

void CForComp::Next() {
    m_wCurrent = *m_pCursor;
    if (m_wCurrent != 0) {
        ++m_pCursor;
    }
}

void CForComp::NextSkip() {
    while (*m_pCursor == u' ') {
        ++m_pCursor;
    }
    Next();
}

void CForComp::Emit(uint8_t op) {
    if (m_nCodeLength >= m_nCapacity) {
        RaiseError(errMemory);
    }
    // The value stack of Run holds kStackSize values; code that would need
    // more is refused here rather than overrun there.
    m_nDepth += formula::EffectOf(op).delta;
    if (m_nDepth > kStackSize) {
        RaiseError(errMemory);
    }
    m_pCode[m_nCodeLength++] = op;
}

void CForComp::Emit(double value) {
    if (m_nCodeLength + 8 >= m_nCapacity) {
        RaiseError(errMemory);
    }
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) {
        m_pCode[m_nCodeLength++] = static_cast<uint8_t>(bits >> (8 * i));
    }
}

bool CForComp::Compile(const char16_t* text) {
    m_nError = errNone;
    m_nErrorPos = 0;
    m_nCodeLength = 0;
    m_pText = text ? text : u"";
    m_pCursor = m_pText;
    m_wCurrent = 0;
    m_nDepth = 0;
    m_nNesting = 0;
    m_bMissing = false;
    try {
        Expression();
        Emit(opEnd);
        if (m_wCurrent != 0) {
            RaiseError(errSyntax);
        }
    } catch (const CompileError& e) {
        m_nError = e.code;
        m_nErrorPos = static_cast<int32_t>(m_pCursor - m_pText);
        return false;
    }
    // An operand missing at the end of the text: only an empty formula may
    // do without one.
    if (m_bMissing && !SpacesOnly(m_pText)) {
        m_nError = errOperand;
        m_nErrorPos = static_cast<int32_t>(m_pCursor - m_pText);
        return false;
    }
    return true;
}

void CForComp::Expression() {
    Term();
    while (m_wCurrent == u'+' || m_wCurrent == u'-' || m_wCurrent == u' ') {
        if (m_wCurrent == u' ') {
            NextSkip();
            continue;
        }
        char16_t op = m_wCurrent;
        Term();
        Emit(op == u'+' ? opAdd : opSub);
    }
}

void CForComp::Term() {
    Factor();
    while (m_wCurrent == u'*' || m_wCurrent == u'/' || m_wCurrent == u' ') {
        if (m_wCurrent == u' ') {
            NextSkip();
            continue;
        }
        char16_t op = m_wCurrent;
        Factor();
        Emit(op == u'*' ? opMul : opDiv);
    }
}

void CForComp::Factor() {
    if (++m_nNesting > kMaxNesting) {
        RaiseError(errMemory);
    }
    NextSkip();
    bool negate = false;
    if (m_wCurrent == u'-') {
        negate = true;
        NextSkip();
    }
    if (m_wCurrent == u'(') {
        BracketedArgument();
    } else if (IsDigit(m_wCurrent)) {
        Number(negate);
        negate = false;
    } else if (IsLetter(m_wCurrent)) {
        Name();
    } else {
        BadFactor();
    }
    if (negate) {
        Emit(opMinus);
    }
    --m_nNesting;
}

void CForComp::BracketedArgument() {
    Expression();
    if (m_wCurrent != u')') {
        RaiseError(errCloseBracket);
    }
    NextSkip();
}

void CForComp::BadFactor() {
    if (m_wCurrent != 0) {
        RaiseError(errOperand);
    }
    MarkMissing();
}

void CForComp::Number(bool negate) {
    // Digits, an optional "." with digits, an optional exponent; nothing
    // else (no hexadecimal, no infinity) and independent of the locale.
    --m_pCursor;
    const char16_t* p = m_pCursor;
    std::string digits;
    bool significant = false;
    auto takeDigits = [&] {
        while (IsDigit(*p)) {
            significant = significant || *p != u'0';
            digits += static_cast<char>(*p++);
        }
    };
    takeDigits();
    if (*p == u'.') {
        digits += '.';
        ++p;
        takeDigits();
    }
    if (*p == u'E' || *p == u'e') {
        const char16_t* q = p + 1;
        if (*q == u'+' || *q == u'-') {
            ++q;
        }
        if (IsDigit(*q)) {
            digits += 'e';
            if (q != p + 1) {
                digits += static_cast<char>(p[1]);
            }
            for (p = q; IsDigit(*p); ++p) {
                digits += static_cast<char>(*p);
            }
        }
    }
    double value = 0.0;
    auto result = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    // Out of range: overflow, or a non-zero number that would come out as
    // zero or subnormal.
    if (result.ec == std::errc::result_out_of_range || (significant && value < DBL_MIN)) {
        RaiseError(errConstant);
    }
    m_pCursor = p;
    while (*m_pCursor == u' ' || *m_pCursor == u'\t') {
        ++m_pCursor;
    }
    NextSkip();
    if (m_wCurrent == u'\u00B0') {
        NextSkip();
        value *= kDegree;
    }
    if (negate) {
        value = -value;
    }
    Emit(opConst);
    Emit(value);
}

void CForComp::Name() {
    char16_t name[kMaxNameLength];
    int length = 0;
    do {
        if (length < kMaxNameLength) {
            name[length++] = m_wCurrent;
        }
        Next();
    } while (IsLetter(m_wCurrent));
    int code = 0;
    int kind = kindNone;
    LookupName(std::u16string_view(name, length), &code, kind);
    if (kind == kindNone || kind > kindFunction2) {
        RaiseError(errUnknown);
    }
    if (kind == kindConstant) {
        Emit(static_cast<uint8_t>(code));
        return;
    }
    if (m_wCurrent != u'(') {
        // The position points at the character that should be "(".
        if (m_wCurrent != 0) {
            --m_pCursor;
        }
        RaiseError(errOpenBracket);
    }
    if (kind == kindFunction) {
        BracketedArgument();
    } else {
        Expression();
        if (m_wCurrent != u';') {
            RaiseError(errSemicolon);
        }
        BracketedArgument();
    }
    Emit(static_cast<uint8_t>(code));
}

// ---- errors ----

void CForComp::GetErrorText(WString& text) const {
    text = LoadResString(kErrorStringBase + static_cast<uint32_t>(m_nError));
}

void CForComp::ShowError() const {
    WString text;
    GetErrorText(text);
    platform::DefaultBeep();
    platform::ShowMessage(text, platform::kMbOk);
}

// ---- evaluating ----

double CForComp::Run(double x) {
    ClearFPErrors();
    double v = Execute(x);
    CheckFPErrors();
    return CheckFinite(v);
}

bool CForComp::Evaluate(const char16_t* text, uint16_t count, double x0, double x1, double* out) {
    m_nEvaluated = 0;
    m_nFailure = 0;
    if (!Compile(text)) {
        return false;
    }
    // Points are computed a block at a time and the flags checked after each
    // block; a block that failed is computed again point by point.
    const bool byBlock = Verify() == blockwise;
    double xs[kBlock];
    double values[kBlock];
    try {
        ClearFPErrors();
        const double width = std::fabs(x1 - x0);
        auto point = [&](int i) { return static_cast<double>(i) / count * width + x0; };
        for (int start = 0; start < count; start += kBlock) {
            const int n = std::min(kBlock, count - start);
            // A short last block repeats its last point rather than compute
            // some other X that might fail.
            for (int j = 0; j < kBlock; ++j) {
                xs[j] = point(start + std::min(j, n - 1));
            }
            if (byBlock) {
                ExecuteBlock(xs, values);
            } else {
                for (int j = 0; j < n; ++j) {
                    values[j] = Execute(xs[j]);
                }
            }
            bool finite = true;
            for (int j = 0; j < n; ++j) {
                finite &= IsFinite(values[j]);
            }
            if (finite && !std::fetestexcept(kFPErrors)) {
                std::copy(values, values + n, out + start);
                m_nEvaluated += n;
                continue;
            }
            for (int j = 0; j < n; ++j) {
                ClearFPErrors();
                double v = Execute(point(start + j));
                CheckFPErrors();
                out[start + j] = CheckFinite(v);
                ++m_nEvaluated;
            }
        }
    } catch (const CException& e) {
        m_nFailure = e.MessageId();
        return false;
    }
    return true;
}
