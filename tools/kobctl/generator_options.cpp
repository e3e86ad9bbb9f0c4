#include "tools/kobctl/generator_options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "framework/wstr.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/line.h"

namespace {

bool Fail(const GeneratorOptions& g, const std::string& what) {
    std::fprintf(stderr, "kobctl %s: %s\n", g.command, what.c_str());
    return false;
}

bool Number(const std::string& text, double& out) {
    char* end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == 0 && std::isfinite(out);
}

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\"");
    const size_t b = s.find_last_not_of(" \t\r\"");
    return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

} // namespace

bool TakeCommon(const GeneratorOptions& g, const Args& args, size_t& i, GeneratorCommon& c,
                bool& ok) {
    const std::string& a = args[i];
    std::string file;
    ok = true;
    if (a == "--on" || a == "--off") {
        c.on = a == "--on";
    } else if (a == "--json") {
        c.json = true;
    } else if (a == "--waveform") {
        ok = TakeWaveform(g, args, i, c.waveform);
    } else if (a == "--formula") {
        ok = TakeText(g, args, i, c.formula);
    } else if (a == "--table") {
        ok = TakeText(g, args, i, file) && ReadTableFile(g, file, c.table);
        c.hasTable = true;
    } else {
        return false;
    }
    return true;
}

void ImplyWaveform(GeneratorCommon& c) {
    if (c.waveform < 0 && !c.formula.empty()) {
        c.waveform = 6;
    } else if (c.waveform < 0 && c.hasTable) {
        c.waveform = 7;
    }
}

bool TakeText(const GeneratorOptions& g, const Args& args, size_t& i, std::string& out) {
    if (i + 1 >= args.size()) {
        return Fail(g, args[i] + " needs a value");
    }
    out = args[++i];
    return true;
}

bool TakeWaveform(const GeneratorOptions& g, const Args& args, size_t& i, long& code) {
    std::string name;
    if (!TakeText(g, args, i, name)) {
        return false;
    }
    long n = 0;
    for (const char* shape : g.shapes) {
        if (name == shape) {
            code = n;
            return true;
        }
        ++n;
    }
    char* end = nullptr;
    code = std::strtol(name.c_str(), &end, 10);
    if (name.empty() || *end || code < 0 || code > 255) {
        std::string names;
        for (const char* shape : g.shapes) {
            names += std::string(names.empty() ? "" : ", ") + shape;
        }
        return Fail(g, "--waveform takes " + names + " or a code 0-255");
    }
    return true;
}

bool TakeList(const GeneratorOptions& g, const Args& args, size_t& i, size_t count, long lo,
              long hi, std::vector<long>& out, char separator) {
    const std::string option = args[i];
    std::string text;
    if (!TakeText(g, args, i, text)) {
        return false;
    }
    out.clear();
    size_t from = 0;
    while (from <= text.size()) {
        const size_t comma = std::min(text.find(separator, from), text.size());
        const std::string item = text.substr(from, comma - from);
        char* end = nullptr;
        const long v = std::strtol(item.c_str(), &end, 10);
        if (item.empty() || *end || v < lo || v > hi) {
            break;
        }
        out.push_back(v);
        from = comma + 1;
    }
    if (out.size() != count || from <= text.size()) {
        return Fail(g, option + " takes " + std::to_string(count) + " numbers from " +
                           std::to_string(lo) + " to " + std::to_string(hi) + ", separated by '" +
                           separator + "'");
    }
    return true;
}

bool TakePositive(const GeneratorOptions& g, const Args& args, size_t& i, double& out) {
    const std::string option = args[i];
    std::string text;
    if (!TakeText(g, args, i, text) || !Number(text, out) || out <= 0) {
        return Fail(g, option + " takes a number above 0");
    }
    return true;
}

bool ReadTableFile(const GeneratorOptions& g, const std::string& path, std::vector<double>& out) {
    std::ifstream in(path);
    if (!in) {
        return Fail(g, "cannot read " + path);
    }
    out.clear();
    std::string line;
    for (int n = 1; std::getline(in, line); ++n) {
        const std::string cell = Trim(line.substr(0, line.find(',')));
        double v = 0;
        if (cell.empty() && line.find(',') == std::string::npos) {
            continue;
        }
        if (!Number(cell, v)) {
            if (n == 1) {
                continue;
            }
            return Fail(g, path + ":" + std::to_string(n) + ": '" + cell + "' is not a number");
        }
        out.push_back(v);
    }
    return true;
}

bool MakeTableVariant(const std::vector<double>& values, VARIANT& out) {
    VariantInit(&out);
    SAFEARRAY* array = SafeArrayCreateVector(VT_R8, 0, static_cast<ULONG>(values.size()));
    if (!array) {
        return false;
    }
    void* data = nullptr;
    if (FAILED(SafeArrayAccessData(array, &data))) {
        SafeArrayDestroy(array);
        return false;
    }
    if (!values.empty()) {
        std::memcpy(data, values.data(), values.size() * sizeof(double));
    }
    SafeArrayUnaccessData(array);
    out.vt = VT_ARRAY | VT_R8;
    out.parray = array;
    return true;
}

BSTR MakeBstr(const std::string& text) {
    const WString wide = Widen(text);
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                             static_cast<UINT>(wide.size()));
}

bool GeneratorSucceeded(const GeneratorOptions& g, const char* method, HRESULT hr) {
    // A formula the compiler refuses is a success code of its own.
    if (hr == S_FALSE && std::strcmp(method, "Formula") == 0) {
        return Fail(g, "the formula does not compile");
    }
    return Succeeded((std::string(g.iface) + "::" + method).c_str(), hr);
}
