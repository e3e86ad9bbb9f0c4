// The stack machine that executes formula code: one handler per opcode.
#include <bit>
#include <cfenv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "formula/forcomp.h"
#include "formula/opcodes.h"

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kTwoPi = 2.0 * kPi;
constexpr double kHalfPi = kPi / 2.0;
constexpr double kThreeHalfPi = 3.0 * kPi / 2.0;

double Sign(double v) {
    return v >= 0.0 ? 1.0 : -1.0;
}
double Frac(double v) {
    return v - std::trunc(v);
}
// The angle of |v| folded into [0, 2pi).
double FoldAbs(double v) {
    return kTwoPi * Frac(std::fabs(v) / kTwoPi);
}
// The angle of v folded into (-2pi, 2pi), keeping its sign.
double Fold(double v) {
    return kTwoPi * Frac(v / kTwoPi);
}

// Some C libraries (the Windows one among them) return NaN or infinity from
// a domain error or an overflow without raising the floating-point flag;
// these raise it, so that every platform refuses the same formulas.
double Invalid(double r) {
    if (std::isnan(r)) {
        std::feraiseexcept(FE_INVALID);
    }
    return r;
}
double Overflow(double v, double r) {
    if (std::isinf(r) && std::isfinite(v)) {
        std::feraiseexcept(FE_OVERFLOW);
    }
    return r;
}
double Logarithm(double v, double r) {
    if (v == 0.0) {
        std::feraiseexcept(FE_DIVBYZERO);
    }
    return Invalid(r);
}

double Sin(double v) {
    return std::sin(v);
}
double Cos(double v) {
    return std::cos(v);
}
double Tan(double v) {
    return std::tan(v);
}
double Asin(double v) {
    return Invalid(std::asin(v));
}
double Acos(double v) {
    return Invalid(std::acos(v));
}
double Atan(double v) {
    return std::atan(v);
}
double Sinh(double v) {
    return Overflow(v, std::sinh(v));
}
double Cosh(double v) {
    return Overflow(v, std::cosh(v));
}
double Tanh(double v) {
    return std::tanh(v);
}
double Exp(double v) {
    return Overflow(v, std::exp(v));
}
double Ln(double v) {
    return Logarithm(v, std::log(v));
}
double Log(double v) {
    return Logarithm(v, std::log10(v));
}
double Sqr(double v) {
    return v * v;
}
double Sqrt(double v) {
    return Invalid(std::sqrt(v));
}
double Abs(double v) {
    return std::fabs(v);
}
double Rad(double v) {
    return v * 0.017453292519943295;
}
double Deg(double v) {
    return v * 57.29577951308232;
}
double Pos(double v) {
    return v > 0.0 ? v : 0.0;
}
double Neg(double v) {
    return v < 0.0 ? v : 0.0;
}
double Int(double v) {
    return std::trunc(v);
}
double Minus(double v) {
    return -v;
}

double Squ(double v) {
    return (FoldAbs(v) < kPi ? 1.0 : -1.0) * Sign(v);
}

double Saw(double v) {
    double p = FoldAbs(v);
    return (p < kPi ? p / kPi : (p - kPi) / kPi - 1.0) * Sign(v);
}

double Tri(double v) {
    double p = FoldAbs(v);
    double t;
    if (p < kHalfPi) {
        t = 2.0 * p / kPi;
    } else if (p < kThreeHalfPi) {
        t = 2.0 - 2.0 * p / kPi;
    } else {
        t = 2.0 * (p - kThreeHalfPi) / kPi - 1.0;
    }
    return t * Sign(v);
}

double Rnd(double v) {
    // Fifteen bits of the C library's generator, whatever its RAND_MAX.
    constexpr unsigned long long kSpan = static_cast<unsigned long long>(RAND_MAX) + 1;
    double r = static_cast<double>(static_cast<unsigned long long>(std::rand()) / (kSpan / 32768));
    return (r / 32767.0 - 0.5) * v;
}

// a is the lower, b the upper of the two top values.
double Add(double a, double b) {
    return a + b;
}
double Sub(double a, double b) {
    return a - b;
}
double Mul(double a, double b) {
    return a * b;
}
double Div(double a, double b) {
    return a / b;
}

double Pwm(double a, double b) {
    return Frac(std::fabs(a) / kTwoPi) < std::fabs(b) ? Sign(b) : 0.0;
}

double Pha(double a, double b) {
    double p = Fold(a);
    return (b <= p && p < kPi) || p >= kPi + b ? std::sin(p) : 0.0;
}

double Pul(double a, double b) {
    double p = Fold(a);
    double h = b / 2.0;
    if (p < kPi) {
        return kHalfPi - h <= p && p < kHalfPi + h ? 1.0 : 0.0;
    }
    return kThreeHalfPi - h <= p && p < kThreeHalfPi + h ? -1.0 : 0.0;
}

// Comparisons of X with the top value.
double Ge(double x, double v) {
    return x >= v ? 1.0 : 0.0;
}
double Gt(double x, double v) {
    return x > v ? 1.0 : 0.0;
}
double Le(double x, double v) {
    return x <= v ? 1.0 : 0.0;
}
double Lt(double x, double v) {
    return x < v ? 1.0 : 0.0;
}

} // namespace

// Each handler executes one instruction and returns its size in bytes, 0 for
// the end of the code.
struct CForComp::Ops {
    using Handler = int (*)(CForComp&, double);

    static int PushX(CForComp& c, double x) {
        c.m_adStack[++c.m_nTop] = x;
        return 1;
    }
    static int PushPi(CForComp& c, double) {
        c.m_adStack[++c.m_nTop] = kPi;
        return 1;
    }
    static double ReadDouble(const uint8_t* p) {
        uint64_t bits = 0;
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(&bits, p, sizeof bits);
        } else {
            for (int i = 7; i >= 0; --i) {
                bits = bits << 8 | p[i];
            }
        }
        return std::bit_cast<double>(bits);
    }
    static int PushConst(CForComp& c, double) {
        c.m_adStack[++c.m_nTop] = ReadDouble(c.m_pCode + c.m_nInstruction + 1);
        return 9;
    }
    template <double (*F)(double)> static int Unary(CForComp& c, double) {
        double& v = c.m_adStack[c.m_nTop];
        v = F(v);
        return 1;
    }
    template <double (*F)(double, double)> static int Binary(CForComp& c, double) {
        double b = c.m_adStack[c.m_nTop--];
        double& a = c.m_adStack[c.m_nTop];
        a = F(a, b);
        return 1;
    }
    template <double (*F)(double, double)> static int CompareX(CForComp& c, double x) {
        double& v = c.m_adStack[c.m_nTop];
        v = F(x, v);
        return 1;
    }
    static int In(CForComp& c, double x) {
        double b = c.m_adStack[c.m_nTop--];
        double& a = c.m_adStack[c.m_nTop];
        a = a <= x && x <= b ? 1.0 : 0.0;
        return 1;
    }
    static int End(CForComp&, double) { return 0; }

    static constexpr Handler kTable[kOpcodeCount] = {
        PushX,        PushPi,       PushConst,    Binary<Add>,  Binary<Sub>, Binary<Mul>,
        Binary<Div>,  Unary<Sin>,   Unary<Cos>,   Unary<Tan>,   Unary<Asin>, Unary<Acos>,
        Unary<Atan>,  Unary<Sinh>,  Unary<Cosh>,  Unary<Tanh>,  Unary<Exp>,  Unary<Ln>,
        Unary<Log>,   Unary<Sqr>,   Unary<Sqrt>,  Unary<Abs>,   Unary<Squ>,  Binary<Pwm>,
        Binary<Pha>,  Binary<Pul>,  Unary<Saw>,   Unary<Tri>,   Unary<Rnd>,  Unary<Rad>,
        Unary<Deg>,   Unary<Pos>,   Unary<Neg>,   Unary<Sign>,  Unary<Int>,  Unary<Frac>,
        CompareX<Ge>, CompareX<Gt>, CompareX<Le>, CompareX<Lt>, In,          Unary<Minus>,
        End,
    };

    // The same instructions over a block of points at once: a row of the
    // block stack holds one stack entry for every point.
    struct Block {
        double (*rows)[kBlock];
        const double* x;
        const uint8_t* code;
        int top;
        int ip;
    };
    using BlockHandler = int (*)(Block&);

    static int BlockPushX(Block& b) {
        std::memcpy(b.rows[++b.top], b.x, sizeof(double) * kBlock);
        return 1;
    }
    static void Fill(Block& b, double v) {
        double* t = b.rows[++b.top];
        for (int i = 0; i < kBlock; ++i) {
            t[i] = v;
        }
    }
    static int BlockPushPi(Block& b) {
        Fill(b, kPi);
        return 1;
    }
    static int BlockPushConst(Block& b) {
        Fill(b, ReadDouble(b.code + b.ip + 1));
        return 9;
    }
    template <double (*F)(double)> static int BlockUnary(Block& b) {
        double* t = b.rows[b.top];
        for (int i = 0; i < kBlock; ++i) {
            t[i] = F(t[i]);
        }
        return 1;
    }
    template <double (*F)(double, double)> static int BlockBinary(Block& b) {
        const double* u = b.rows[b.top--];
        double* t = b.rows[b.top];
        for (int i = 0; i < kBlock; ++i) {
            t[i] = F(t[i], u[i]);
        }
        return 1;
    }
    template <double (*F)(double, double)> static int BlockCompareX(Block& b) {
        double* t = b.rows[b.top];
        for (int i = 0; i < kBlock; ++i) {
            t[i] = F(b.x[i], t[i]);
        }
        return 1;
    }
    static int BlockIn(Block& b) {
        const double* u = b.rows[b.top--];
        double* t = b.rows[b.top];
        for (int i = 0; i < kBlock; ++i) {
            t[i] = t[i] <= b.x[i] && b.x[i] <= u[i] ? 1.0 : 0.0;
        }
        return 1;
    }
    static int BlockEnd(Block&) { return 0; }

    static constexpr BlockHandler kBlockTable[kOpcodeCount] = {
        BlockPushX,        BlockPushPi,       BlockPushConst,    BlockBinary<Add>,
        BlockBinary<Sub>,  BlockBinary<Mul>,  BlockBinary<Div>,  BlockUnary<Sin>,
        BlockUnary<Cos>,   BlockUnary<Tan>,   BlockUnary<Asin>,  BlockUnary<Acos>,
        BlockUnary<Atan>,  BlockUnary<Sinh>,  BlockUnary<Cosh>,  BlockUnary<Tanh>,
        BlockUnary<Exp>,   BlockUnary<Ln>,    BlockUnary<Log>,   BlockUnary<Sqr>,
        BlockUnary<Sqrt>,  BlockUnary<Abs>,   BlockUnary<Squ>,   BlockBinary<Pwm>,
        BlockBinary<Pha>,  BlockBinary<Pul>,  BlockUnary<Saw>,   BlockUnary<Tri>,
        BlockUnary<Rnd>,   BlockUnary<Rad>,   BlockUnary<Deg>,   BlockUnary<Pos>,
        BlockUnary<Neg>,   BlockUnary<Sign>,  BlockUnary<Int>,   BlockUnary<Frac>,
        BlockCompareX<Ge>, BlockCompareX<Gt>, BlockCompareX<Le>, BlockCompareX<Lt>,
        BlockIn,           BlockUnary<Minus>, BlockEnd,
    };
};

double CForComp::Execute(double x) {
    m_adStack[0] = 0.0;
    m_nInstruction = 0;
    m_nTop = -1;
    for (;;) {
        const int length = m_pCode && m_nCodeLength <= m_nCapacity ? m_nCodeLength : 0;
        if (m_nInstruction < 0 || m_nInstruction >= length) {
            return 0.0; // ran off the code without its end
        }
        const uint8_t op = m_pCode[m_nInstruction];
        if (op >= kOpcodeCount) {
            BadOpcode();
            ++m_nInstruction;
            continue;
        }
        const formula::OpEffect& e = formula::kEffects[op];
        if (m_nTop + 1 < e.need || m_nTop + e.delta >= kStackSize ||
            e.size > length - m_nInstruction) {
            return 0.0; // the code would leave the stack or the buffer
        }
        const int step = Ops::kTable[op](*this, x);
        if (step == 0) {
            return m_adStack[0];
        }
        m_nInstruction += step;
    }
}

void CForComp::ExecuteBlock(const double* x, double* out) {
    double rows[kStackSize][kBlock];
    Ops::Block b{rows, x, m_pCode, -1, 0};
    std::memset(rows[0], 0, sizeof rows[0]);
    for (;;) {
        const int step = Ops::kBlockTable[m_pCode[b.ip]](b);
        if (step == 0) {
            break;
        }
        b.ip += step;
    }
    std::memcpy(out, rows[0], sizeof rows[0]);
}

CForComp::Verdict CForComp::Verify() const {
    if (!m_pCode || m_nCodeLength > m_nCapacity) {
        return unsafe;
    }
    Verdict verdict = blockwise;
    int depth = 0;
    for (int ip = 0; ip < m_nCodeLength;) {
        const uint8_t op = m_pCode[ip];
        if (op >= kOpcodeCount) {
            return unsafe;
        }
        const formula::OpEffect& e = formula::kEffects[op];
        if (depth < e.need || depth + e.delta > kStackSize || e.size > m_nCodeLength - ip) {
            return unsafe;
        }
        if (op == opEnd) {
            return verdict;
        }
        if (op == opRnd) {
            verdict = pointwise; // noise is drawn point after point
        }
        depth += e.delta;
        ip += e.size;
    }
    return unsafe;
}

void CForComp::BadOpcode() {}
