// What kobctl funcgen and kobctl power read from their command lines: the
// waveform by name, lists of numbers, a table file; and the automation
// types their values travel in.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "server/koblabview.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/line.h"

struct GeneratorOptions {
    const char* command;                       // "funcgen" or "power"
    const char* iface;                         // "IFuncGen" or "IPowerSupply"
    std::initializer_list<const char*> shapes; // waveform names by code
};

// The options of both generators: --on/--off, --json, --waveform,
// --formula, --table.
struct GeneratorCommon {
    int on = -1; // -1 unchanged
    bool json = false;
    long waveform = -1;
    std::string formula;
    std::vector<double> table;
    bool hasTable = false;
};
// Takes args[i] when it is one of them (true); ok tells whether it was
// well-formed.
bool TakeCommon(const GeneratorOptions& g, const Args& args, size_t& i, GeneratorCommon& c,
                bool& ok);
// A formula or a table given without a waveform selects it (codes 6, 7).
void ImplyWaveform(GeneratorCommon& c);

// A waveform name or code 0-255 after args[i]; moves i past it.
bool TakeWaveform(const GeneratorOptions& g, const Args& args, size_t& i, long& code);
// count integers within lo..hi after args[i], between separators.
bool TakeList(const GeneratorOptions& g, const Args& args, size_t& i, size_t count, long lo,
              long hi, std::vector<long>& out, char separator = ',');
// A finite number above 0 after args[i].
bool TakePositive(const GeneratorOptions& g, const Args& args, size_t& i, double& out);
// The text after args[i].
bool TakeText(const GeneratorOptions& g, const Args& args, size_t& i, std::string& out);
// One value per line, or a CSV's first column; a first line that is no
// number is a header. False, with the file and line named, otherwise.
bool ReadTableFile(const GeneratorOptions& g, const std::string& path, std::vector<double>& out);

// The values as the VT_ARRAY | VT_R8 a generator's UserTable takes; the
// caller clears the variant.
bool MakeTableVariant(const std::vector<double>& values, VARIANT& out);
// A BSTR of UTF-8 text; the caller frees it.
BSTR MakeBstr(const std::string& text);
// Whether a generator method succeeded; else one line saying what failed.
bool GeneratorSucceeded(const GeneratorOptions& g, const char* method, HRESULT hr);

// A formula (when not empty), then a table (when given), to a generator
// interface; false after saying what failed.
template <class Generator>
bool SendFormulaAndTable(const GeneratorOptions& g, Generator* gen, const std::string& formula,
                         const std::vector<double>* table) {
    if (!formula.empty()) {
        BSTR text = MakeBstr(formula);
        const HRESULT hr = gen->Formula(text);
        SysFreeString(text);
        if (!GeneratorSucceeded(g, "Formula", hr)) {
            return false;
        }
    }
    if (table) {
        VARIANT v;
        if (!MakeTableVariant(*table, v)) {
            return GeneratorSucceeded(g, "UserTable", E_OUTOFMEMORY);
        }
        const HRESULT hr = gen->UserTable(&v);
        VariantClear(&v);
        return GeneratorSucceeded(g, "UserTable", hr);
    }
    return true;
}

// A generator command's run: the server connected on the line, the
// generator created with create, then run (given the box's identity); the
// exit status.
template <class Generator>
int RunGenerator(const GeneratorOptions& g, const LineOptions& line,
                 const std::function<HRESULT(IKobaltix*, Generator**)>& create,
                 const std::function<bool(Generator*, const std::string&)>& run) {
    ComModule module;
    std::string version;
    IKobaltix* kob = ConnectThroughCom(module, line, version);
    if (!kob) {
        return 1;
    }
    Generator* gen = nullptr;
    const bool ok =
        Succeeded((std::string("IKobaltix::Create") + (g.iface + 1)).c_str(), create(kob, &gen)) &&
        run(gen, version);
    if (gen) {
        gen->Release();
    }
    kob->Release();
    return ok ? 0 : 1;
}
