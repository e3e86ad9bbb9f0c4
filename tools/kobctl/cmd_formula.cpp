// kobctl formula: evaluate a waveform formula as the generators would and
// print its table, or show where the formula is wrong.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formula/forcomp.h"
#include "framework/strings.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/line.h"

namespace {

bool ParseDouble(const std::string& s, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == 0 && errno == 0 && std::isfinite(value);
}

// The compiler, and where its error lies: the character read last, or the
// end of the text when everything was read.
class Compiler : public CForComp {
public:
    int ErrorIndex() const { return m_wCurrent == 0 ? ErrorPos() : std::max(ErrorPos() - 1, 0); }
};

// Up to this many characters either side of the error are shown.
constexpr int kWindow = 30;

// A window of the formula around the error with a caret under it; what
// cannot be printed is shown escaped (\xNN, \uNNNN).
void ShowCaret(const WString& text, int at) {
    const int size = static_cast<int>(text.size());
    int from = std::max(at - kWindow, 0);
    int to = std::min(at + kWindow, size);
    // Never start or stop between the two halves of one character.
    if (from > 0 && text[from] >= 0xDC00 && text[from] <= 0xDFFF) {
        --from;
    }
    if (to < size && text[to] >= 0xDC00 && text[to] <= 0xDFFF) {
        ++to;
    }
    std::string shown = from > 0 ? "..." : "";
    std::string marker(shown.size(), ' ');
    for (int i = from; i < to; ++i) {
        char16_t c = text[i];
        std::string piece;
        if (c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0)) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", static_cast<unsigned>(c));
            piece = buf;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < to) {
            piece = Narrow(WString(text, static_cast<size_t>(i), 2));
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04X", static_cast<unsigned>(c));
            piece = buf;
        } else {
            piece = Narrow(WString(1, c));
        }
        if (i < at) {
            // One column per printed character, whatever its bytes.
            for (unsigned char b : piece) {
                if ((b & 0xC0) != 0x80) {
                    marker += ' ';
                }
            }
        }
        shown += piece;
    }
    if (to < size) {
        shown += "...";
    }
    std::fprintf(stderr, "  %s\n  %s^\n", shown.c_str(), marker.c_str());
}

} // namespace

int RunFormula(const Args& args) {
    std::string formula;
    bool haveFormula = false;
    long points = 32;
    double x0 = 0.0;
    double x1 = 2 * 3.141592653589793;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string value;
        if (!optionsEnded && a == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && a == "--points") {
            if (!TakeNumber("formula", args, i, 1, 65535, points)) {
                return 2;
            }
        } else if (!optionsEnded && (a == "--from" || a == "--to")) {
            if (!TakeValue("formula", args, i, value)) {
                return 2;
            }
            if (!ParseDouble(value, a == "--from" ? x0 : x1)) {
                std::fprintf(stderr, "kobctl formula: %s takes a number\n", a.c_str());
                return 2;
            }
        } else if (!haveFormula && (optionsEnded || a.rfind("--", 0) != 0)) {
            // A formula may well begin with a minus sign; options have two.
            formula = a;
            haveFormula = true;
        } else if (haveFormula && (optionsEnded || a.rfind("--", 0) != 0)) {
            std::fprintf(stderr,
                         "kobctl formula: one formula only (quote it when it has blanks)\n");
            return 2;
        } else {
            UnknownOption("formula", a);
            return 2;
        }
    }
    if (!haveFormula || formula.find_first_not_of(' ') == std::string::npos) {
        std::fprintf(stderr, "kobctl formula: %s\n",
                     haveFormula ? "the formula is empty" : "a formula is needed");
        return 2;
    }
    if (x0 > x1) {
        // The compiler's steps would walk away from X1.
        std::fprintf(stderr, "kobctl formula: --from must not be above --to\n");
        return 2;
    }

    // The generators compile the formula in upper case; so does this.
    const WString text = CForComp::ToUpper(Widen(formula));
    const uint16_t count = static_cast<uint16_t>(points);
    std::vector<double> values(count);
    Compiler comp;
    bool ok = comp.Evaluate(text.c_str(), count, x0, x1, values.data());
    if (!ok && comp.Error() != CForComp::errNone) {
        WString message;
        comp.GetErrorText(message);
        std::fprintf(stderr, "kobctl formula: the formula does not compile:\n");
        ShowCaret(text, comp.ErrorIndex());
        std::fprintf(stderr, "%s\n", Narrow(message).c_str());
        return 1;
    }
    const double width = std::fabs(x1 - x0);
    auto pointX = [&](int i) { return static_cast<double>(i) / count * width + x0; };
    for (int i = 0; i < comp.EvaluatedPoints(); ++i) {
        std::printf("%d %.17g %.17g\n", i, pointX(i), values[i]);
    }
    if (!ok) {
        int failed = comp.EvaluatedPoints();
        std::fflush(stdout);
        std::fprintf(stderr, "kobctl formula: evaluation stopped at point %d (X = %.17g): %s\n",
                     failed, pointX(failed),
                     Narrow(LoadResString(comp.EvaluationFailure())).c_str());
        return 1;
    }
    return 0;
}
