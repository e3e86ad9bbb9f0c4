// Compiles arbitrary text and runs what compiles; also runs arbitrary bytes
// as code. The first input byte picks the mode: 0 one byte per character
// (0xB0 is the degree sign), 1 UTF-16 little-endian, 2 raw code bytes.
#include <cfenv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "formula/forcomp.h"
#include "framework/exception.h"

namespace {

class RawCode : public CForComp {
public:
    void Load(const uint8_t* data, size_t size) {
        size = size < static_cast<size_t>(kCodeSize) ? size : kCodeSize;
        std::memcpy(m_pCode, data, size);
        m_nCodeLength = static_cast<int>(size);
    }
};

const double kPoints[] = {0.0, 1.5, -3.25, 6.283185307179586, 1e6};

void Check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

void RunAt(CForComp& comp) {
    for (double x : kPoints) {
        try {
            Check(std::isfinite(comp.Run(x)));
        } catch (const CFPException&) {
        }
        Check(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) == 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const int mode = data[0] % 3;
    ++data;
    --size;
    if (mode == 2) {
        RawCode comp;
        comp.Load(data, size);
        RunAt(comp);
        return 0;
    }
    std::u16string text;
    if (mode == 0) {
        for (size_t i = 0; i < size; ++i) {
            text += static_cast<char16_t>(data[i]);
        }
    } else {
        for (size_t i = 0; i + 1 < size; i += 2) {
            text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
        }
    }
    const size_t length = std::char_traits<char16_t>::length(text.c_str());

    CForComp comp;
    if (!comp.Compile(text.c_str())) {
        Check(comp.Error() >= 1 && comp.Error() <= 11);
        Check(comp.ErrorPos() >= 0 && static_cast<size_t>(comp.ErrorPos()) <= length);
        WString message;
        comp.GetErrorText(message);
        Check(!message.empty());
        RunAt(comp); // what a failed compilation left must run safely too
        return 0;
    }
    Check(comp.CodeLength() >= 1 && comp.CodeLength() <= CForComp::kCodeSize);
    Check(comp.Code()[comp.CodeLength() - 1] == CForComp::opEnd);
    RunAt(comp);

    double table[64];
    if (comp.Evaluate(text.c_str(), 64, -10.0, 10.0, table)) {
        for (double v : table) {
            Check(std::isfinite(v));
        }
    } else {
        Check(comp.Error() == 0 && comp.EvaluatedPoints() < 64);
        Check(std::fetestexcept(FE_INVALID | FE_DIVBYZERO | FE_OVERFLOW) == 0);
    }
    return 0;
}
