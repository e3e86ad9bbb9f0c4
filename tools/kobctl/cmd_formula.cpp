// kobctl formula: evaluate a waveform formula as the generators would and
// print its table, or show where the formula is wrong.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "formula/forcomp.h"
#include "framework/strings.h"
#include "tools/kobctl/commands.h"

namespace {

bool ParseDouble(const std::string& s, double& value) {
    char* end = nullptr;
    errno = 0;
    value = std::strtod(s.c_str(), &end);
    return !s.empty() && *end == 0 && errno == 0 && std::isfinite(value);
}

// The formula with a caret under the place where the error was found.
void ShowCaret(const WString& text, int position) {
    std::string marker;
    for (int i = 0; i < position && i < static_cast<int>(text.size()); ++i) {
        char16_t c = text[i];
        if (c >= 0xDC00 && c <= 0xDFFF) {
            continue; // the second half of a character already counted
        }
        marker += c == u'\t' ? '\t' : ' ';
    }
    std::fprintf(stderr, "  %s\n  %s^\n", Narrow(text).c_str(), marker.c_str());
}

} // namespace

int RunFormula(const Args& args) {
    std::string formula;
    bool haveFormula = false;
    long points = 32;
    double x0 = 0.0;
    double x1 = 2 * 3.141592653589793;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool hasValue = i + 1 < args.size();
        if (a == "--points" && hasValue) {
            char* end = nullptr;
            points = std::strtol(args[++i].c_str(), &end, 10);
            if (*end || points < 1 || points > 65535) {
                std::fprintf(stderr, "kobctl formula: --points takes a count from 1 to 65535\n");
                return 2;
            }
        } else if ((a == "--from" || a == "--to") && hasValue) {
            if (!ParseDouble(args[++i], a == "--from" ? x0 : x1)) {
                std::fprintf(stderr, "kobctl formula: %s takes a number\n", a.c_str());
                return 2;
            }
        } else if (!haveFormula && a.rfind("--", 0) != 0) {
            // A formula may well begin with a minus sign; options have two.
            formula = a;
            haveFormula = true;
        } else {
            std::fprintf(stderr, "kobctl formula: unknown option %s\n", a.c_str());
            return 2;
        }
    }
    if (!haveFormula) {
        std::fprintf(stderr, "usage: kobctl formula TEXT [--points N] [--from X0] [--to X1]\n");
        return 2;
    }

    // The generators compile the formula in upper case; so does this.
    const WString text = CForComp::ToUpper(Widen(formula));
    const uint16_t count = static_cast<uint16_t>(points);
    std::vector<double> values(count);
    CForComp comp;
    bool ok = comp.Evaluate(text.c_str(), count, x0, x1, values.data());
    if (!ok && comp.Error() != CForComp::errNone) {
        WString message;
        comp.GetErrorText(message);
        std::fprintf(stderr, "kobctl formula: the formula does not compile:\n");
        ShowCaret(text, comp.ErrorPos());
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
