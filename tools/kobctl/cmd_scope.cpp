// kobctl scope: one record of both channels through the COM server, as a
// table of volts, a PNG plot and a sketch in the terminal.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "instruments/scope/scope.h"
#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"
#include "tools/kobctl/plot.h"

namespace {

struct ScopeOptions {
    int timeBase = 9;
    int rangeA = 5;
    int rangeB = 8;
    int trigger = 1; // 0 none, 1 A, 2 B
    int level = 0;
    int post = 50;
    std::string png;
    std::string csv;
    bool json = false;
};

bool IntOption(const Args& args, size_t& i, int lo, int hi, int& out) {
    long v = 0;
    if (!TakeNumber("scope", args, i, lo, hi, v)) {
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

bool Parse(const Args& args, ScopeOptions& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool ok = true;
        if (a == "--timebase") {
            ok = IntOption(args, i, 0, kTimeBaseRows - 1, o.timeBase);
        } else if (a == "--range-a") {
            ok = IntOption(args, i, 0, kRangeCount - 1, o.rangeA);
        } else if (a == "--range-b") {
            ok = IntOption(args, i, 0, kRangeCount - 1, o.rangeB);
        } else if (a == "--level") {
            ok = IntOption(args, i, -100, 100, o.level);
        } else if (a == "--post") {
            ok = IntOption(args, i, 0, 100, o.post);
        } else if (a == "--trigger") {
            std::string t;
            ok = TakeValue("scope", args, i, t);
            o.trigger = t == "none" ? 0 : t == "A" ? 1 : t == "B" ? 2 : -1;
            if (ok && o.trigger < 0) {
                std::fprintf(stderr, "kobctl scope: --trigger takes none, A or B\n");
                return false;
            }
        } else if (a == "--png" || a == "--csv") {
            ok = TakeValue("scope", args, i, a == "--png" ? o.png : o.csv);
        } else if (a == "--json") {
            o.json = true;
        } else {
            return UnknownOption("scope", a);
        }
        if (!ok) {
            return false;
        }
    }
    return true;
}

// Waits for a memory record, then reads it.
bool RecordMemory(IScope* scope, double recordSeconds, VARIANT& a, VARIANT& b) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(recordSeconds * 1000) + 5000);
    ScopeStatus status = SC_READY;
    while (true) {
        if (!Succeeded("IScope::Status", scope->Status(&status))) {
            return false;
        }
        if (status == SC_MEASURED) {
            break;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            std::fprintf(stderr, "kobctl scope: the box did not finish the record (status %d)\n",
                         static_cast<int>(status));
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return Succeeded("IScope::Read", scope->Read(&a, &b));
}

std::vector<double> Take(VARIANT& v) {
    std::vector<double> out;
    if (v.vt == (VT_ARRAY | VT_R8) && v.parray) {
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        void* data = nullptr;
        if (hi >= lo && SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
            auto* d = static_cast<double*>(data);
            out.assign(d, d + (hi - lo + 1));
            SafeArrayUnaccessData(v.parray);
        }
    }
    VariantClear(&v);
    return out;
}

// Online rows: pairs arrive as the box collects them.
bool RecordOnline(IScope* scope, size_t values, double recordSeconds, ScopeTrace& a,
                  ScopeTrace& b) {
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::milliseconds(static_cast<long>(recordSeconds * 1000) + 5000);
    while (a.volts.size() < values && std::chrono::steady_clock::now() < deadline) {
        VARIANT va, vb;
        if (!Succeeded("IScope::ReadOnline", scope->ReadOnline(&va, &vb))) {
            return false;
        }
        auto pa = Take(va), pb = Take(vb);
        a.volts.insert(a.volts.end(), pa.begin(), pa.end());
        b.volts.insert(b.volts.end(), pb.begin(), pb.end());
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    a.volts.resize(std::min(a.volts.size(), values));
    b.volts.resize(std::min(b.volts.size(), values));
    return true;
}

void Describe(const ScopeTrace& t, double delta) {
    double lo = 0, hi = 0;
    int rising = 0;
    double first = -1, last = -1;
    for (size_t i = 0; i < t.volts.size(); ++i) {
        lo = i ? std::min(lo, t.volts[i]) : t.volts[i];
        hi = i ? std::max(hi, t.volts[i]) : t.volts[i];
        if (i && t.volts[i - 1] < 0 && t.volts[i] >= 0) {
            double at = (i - 1 + t.volts[i - 1] / (t.volts[i - 1] - t.volts[i])) * delta;
            first = rising ? first : at;
            last = at;
            ++rising;
        }
    }
    std::printf("  channel %s: %zu values, %.3f V to %.3f V", t.name.c_str(), t.volts.size(), lo,
                hi);
    if (rising >= 2) {
        std::printf(", %.4g Hz from %d rising zero crossings", (rising - 1) / (last - first),
                    rising);
    }
    std::printf("\n");
}

// Values that read back to the same doubles.
bool WriteCsv(const std::string& path, double delta, const ScopeTrace& a, const ScopeTrace& b) {
    std::ofstream out(path);
    out << "t_s,a_V,b_V\n";
    for (size_t i = 0; i < a.volts.size() && i < b.volts.size(); ++i) {
        out << ShortestDouble(i * delta) << ',' << ShortestDouble(a.volts[i]) << ','
            << ShortestDouble(b.volts[i]) << '\n';
    }
    out.close();
    return static_cast<bool>(out);
}

void PrintJson(const std::string& version, int timeBase, double delta, const ScopeTrace& a,
               const ScopeTrace& b) {
    JsonObject o;
    o.String("box", version).Integer("timebase", timeBase).Number("delta_s", delta);
    for (const ScopeTrace* t : {&a, &b}) {
        JsonObject channel;
        channel.Number("full_scale_V", t->fullScale).Numbers("volts", t->volts);
        o.Object(t->name, channel);
    }
    o.Print();
}

} // namespace

int RunScope(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    ScopeOptions o;
    if (!ParseLineOptions(args, line) || !Parse(args, o)) {
        return 2;
    }
    if (line.trace) {
        std::fprintf(stderr, "kobctl scope: no --trace (the COM server owns the line)\n");
        return 2;
    }
    ComModule module;
    std::string version;
    IKobaltix* kob = ConnectThroughCom(module, line, version);
    if (!kob) {
        return 1;
    }
    // The box model chooses the time-base table.
    const bool model2 = version.rfind("KX7710-3B2", 0) == 0;
    const TimeBaseRow& row = (model2 ? g_aTimeBases2 : g_aTimeBases1)[o.timeBase];
    if (!o.json) {
        std::printf("Box: \"%s\"\nTime base %d: %g s/div, %u values%s; ranges A %g V, B %g V "
                    "full scale\n",
                    version.c_str(), o.timeBase, row.secondsPerDiv, row.values,
                    row.online ? " (online)" : "", g_aRanges[o.rangeA].fullScale,
                    g_aRanges[o.rangeB].fullScale);
    }

    int rc = 1;
    IScope* scope = nullptr;
    ScopeTrace a{"A", {}, g_aRanges[o.rangeA].fullScale};
    ScopeTrace b{"B", {}, g_aRanges[o.rangeB].fullScale};
    double delta = 0, total = 0;
    unsigned char online = 0;
    const double recordSeconds = 10 * row.secondsPerDiv;
    if (Succeeded("IKobaltix::CreateScope", kob->CreateScope(&scope)) &&
        Succeeded("IScope::Input", scope->Input(static_cast<unsigned char>(o.rangeA), 1,
                                                static_cast<unsigned char>(o.rangeB), 1)) &&
        Succeeded("IScope::Timing", scope->Timing(row.prescale, row.online, row.values)) &&
        Succeeded("IScope::Trigger", scope->Trigger(0, static_cast<unsigned char>(o.trigger),
                                                    static_cast<unsigned char>(o.post))) &&
        Succeeded("IScope::TriggerLevel", scope->TriggerLevel(static_cast<short>(o.level))) &&
        Succeeded("IScope::GetTiming", scope->GetTiming(&delta, &total, &online)) &&
        Succeeded("IScope::Start", scope->Start())) {
        bool got = false;
        if (row.online) {
            // Online pairs come at the row's own pace, one record's worth.
            delta = recordSeconds / row.values;
            got = RecordOnline(scope, row.values, recordSeconds, a, b);
        } else {
            VARIANT va, vb;
            got = RecordMemory(scope, recordSeconds, va, vb);
            if (got) {
                a.volts = Take(va);
                b.volts = Take(vb);
            }
        }
        scope->Stop();
        if (got) {
            rc = 0;
            if (o.json) {
                PrintJson(version, o.timeBase, delta, a, b);
            } else {
                std::printf("Record: %zu values, %g s apart (%g s in all)\n", a.volts.size(), delta,
                            a.volts.empty() ? 0.0 : (a.volts.size() - 1) * delta);
                Describe(a, delta);
                Describe(b, delta);
                std::printf("%s", Sketch({a, b}, 64, 11).c_str());
            }
            std::string error;
            if (!o.csv.empty() && !WriteCsv(o.csv, delta, a, b)) {
                std::fprintf(stderr, "kobctl scope: the CSV file %s cannot be written\n",
                             o.csv.c_str());
                rc = 1;
            } else if (!o.csv.empty() && !o.json) {
                std::printf("Wrote %s (t_s,a_V,b_V)\n", o.csv.c_str());
            }
            if (!o.png.empty() && !WritePlotPng(o.png, delta, {a, b}, error)) {
                std::fprintf(stderr, "kobctl scope: the plot %s cannot be written: %s\n",
                             o.png.c_str(), error.c_str());
                rc = 1;
            } else if (!o.png.empty() && !o.json) {
                std::printf("Wrote %s\n", o.png.c_str());
            }
        }
    }
    if (scope) {
        scope->Release();
    }
    kob->Release();
    return rc;
}
