// The formula compiler: turns a waveform formula in X, such as
// SIN(X)+0.3*SIN(3*X), into postfix code for a small stack machine, reports
// the first error with its position, and evaluates the code into tables.
#pragma once

#include <cstdint>
#include <string_view>

#include "framework/wstr.h"

class CForComp {
public:
    // Compile errors; the message of code n is string kErrorStringBase + n.
    enum Error {
        errNone = 0,
        errMemory = 1,      // code buffer full, stack or nesting too deep
        errOperator = 2,    // not raised by this grammar
        errOpenBracket = 3, // a function name not followed by "("
        errUnknown = 4,     // a name neither in the table nor X
        errCloseBracket = 5,
        errOperand = 6,  // a character that cannot start an operand
        errConstant = 7, // a number out of range
        errSyntax = 8,   // characters left after a complete expression
        errInteger = 9,  // not raised by this grammar
        errSquare = 10,  // not raised by this grammar
        errSemicolon = 11,
    };

    // Opcodes of the postfix code. opConst is followed by an 8-byte
    // little-endian IEEE double.
    enum Opcode : uint8_t {
        opX = 0,
        opPi,
        opConst,
        opAdd,
        opSub,
        opMul,
        opDiv,
        opSin,
        opCos,
        opTan,
        opAsin,
        opAcos,
        opAtan,
        opSinh,
        opCosh,
        opTanh,
        opExp,
        opLn,
        opLog,
        opSqr,
        opSqrt,
        opAbs,
        opSqu,
        opPwm,
        opPha,
        opPul,
        opSaw,
        opTri,
        opRnd,
        opRad,
        opDeg,
        opPos,
        opNeg,
        opSgn,
        opInt,
        opFrc,
        opGe,
        opGt,
        opLe,
        opLt,
        opIn,
        opMinus,
        opEnd, // 42: stop; the result is the bottom stack entry
    };
    static constexpr int kOpcodeCount = opEnd + 1;

    // Kinds of the names in the function table.
    enum Kind { kindNone = 0, kindConstant = 1, kindFunction = 2, kindFunction2 = 3 };

    static constexpr int kCodeSize = 1024;
    static constexpr int kStackSize = 40;
    static constexpr uint32_t kErrorStringBase = 1732;

    CForComp();
    virtual ~CForComp();
    CForComp(const CForComp&) = delete;
    CForComp& operator=(const CForComp&) = delete;

    // For a formula editor: completes a function name with its brackets
    // ("SIN" -> "SIN()", "IN" -> "IN(;)") and puts caret between them.
    // True for functions and constants, false for anything else (X too).
    virtual bool CompleteName(WString& name, int& caret);
    // Called by Run for a byte that is no opcode; the byte is skipped.
    virtual void BadOpcode();
    // Names that are not in the function table: X alone (code 0, kind 1).
    virtual void LookupExtra(std::u16string_view name, int* code, int& kind);
    // The current character cannot start an operand: error 6, unless the
    // text has ended, where the operand only counts as missing.
    virtual void BadFactor();

    // Translates a zero-terminated formula into code. False on an error;
    // Error() and ErrorPos() then describe the first one.
    bool Compile(const char16_t* text);
    // Executes the code compiled last with X = x. A floating-point error
    // (invalid operation, division by zero, overflow) or a result that is not
    // finite throws CFPException after the default beep. Code that would
    // leave the stack or the code buffer stops and yields 0.
    double Run(double x);
    // Compiles text and fills out[0..count-1] with the formula at
    // X = i / count * |x1 - x0| + x0. False when the formula does not compile
    // (out untouched) or when an exception stopped the evaluation (the points
    // before the failing one are kept).
    bool Evaluate(const char16_t* text, uint16_t count, double x0, double x1, double* out);

    // A beep, then a message box with the message of the last error.
    void ShowError() const;
    // The message of the last error.
    void GetErrorText(WString& text) const;

    // Looks a name up in the function table. When it is not there, kind is
    // kindNone and, only when code is wanted, LookupExtra decides.
    void LookupName(std::u16string_view name, int* code, int& kind);

    int Error() const { return m_nError; }
    int ErrorPos() const { return m_nErrorPos; }
    const uint8_t* Code() const { return m_pCode; }
    int CodeLength() const { return m_nCodeLength; }
    // Points written by the last Evaluate, and the message id of the
    // exception that stopped it (0 when none did).
    int EvaluatedPoints() const { return m_nEvaluated; }
    uint32_t EvaluationFailure() const { return m_nFailure; }

    // The formula in upper case, as the compiler expects it.
    static WString ToUpper(std::u16string_view text);

protected:
    // Abandons the compilation with an error code.
    [[noreturn]] void RaiseError(int code);
    void MarkMissing() { m_bMissing = true; }

    const char16_t* m_pCursor = nullptr; // next character to read
    char16_t m_wCurrent = 0;             // character read last; 0 at the end
    int32_t m_nError = 0;
    int32_t m_nErrorPos = 0; // characters before the cursor at the error
    int32_t m_bOwnsCode = 1;
    uint8_t* m_pCode = nullptr;
    int32_t m_nCodeLength = 0;
    int32_t m_nCapacity = 0; // kCodeSize, or 0 when the buffer is missing
    int32_t m_nInstruction = 0;
    int32_t m_nTop = -1; // index of the top stack value; -1 when empty
    double m_adStack[kStackSize] = {};

private:
    struct Ops;
    friend struct Ops;

    void Next();
    void NextSkip();
    void Emit(uint8_t op);
    void Emit(double value);
    void Expression();
    void Term();
    void Factor();
    void Number(bool negate);
    void Name();
    void BracketedArgument();

    // The interpreter, checking every instruction against the stack and the
    // code; and the same over a block of points, for verified code only.
    static constexpr int kBlock = 32;
    double Execute(double x);
    void ExecuteBlock(const double* x, double* out);
    // Whether the code stays inside the stack and the buffer for any X, and
    // whether its points may be computed a block at a time.
    enum Verdict { unsafe, pointwise, blockwise };
    Verdict Verify() const;

    const char16_t* m_pText = nullptr; // start of the text being compiled
    int m_nDepth = 0;                  // stack values the code emitted so far needs
    int m_nNesting = 0;                // brackets and functions open
    bool m_bMissing = false;
    int m_nEvaluated = 0;
    uint32_t m_nFailure = 0;
};
