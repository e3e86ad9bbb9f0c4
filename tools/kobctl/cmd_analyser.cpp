// kobctl analyser: one record of the logic analyser through the COM server:
// an optional output pattern played during the record, then the 16 input
// lines as a timing diagram here, as CSV (index,word,b0..b15) and as a PNG.
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tools/kobctl/com_module.h"
#include "tools/kobctl/commands.h"
#include "tools/kobctl/digital.h"
#include "tools/kobctl/json.h"
#include "tools/kobctl/line.h"

namespace {

constexpr int kLines = 16;
constexpr auto kRecordWait = std::chrono::seconds(30);

struct Options {
    unsigned long count = 0;
    unsigned long timer = 10;
    unsigned long mask = 0;
    unsigned long trigger = 0;
    bool online = false;
    std::string pattern, csv, png;
    bool json = false;
};

// Words separated by blanks or commas; "#" starts a comment.
bool ReadPattern(const std::string& path, std::vector<unsigned short>& words) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "kobctl analyser: cannot read %s\n", path.c_str());
        return false;
    }
    std::string text;
    for (std::string row; std::getline(in, row);) {
        text += row.substr(0, row.find('#')) + ' ';
    }
    for (char& c : text) {
        c = c == ',' ? ' ' : c;
    }
    std::istringstream items(text);
    for (std::string item; items >> item;) {
        unsigned long w = 0;
        if (!ParseWord(item, 0xFFFF, w) || words.size() >= 0xFFFF) {
            std::fprintf(stderr,
                         "kobctl analyser: %s: \"%s\" is not a word 0-0xffff (or the "
                         "table has more than 65535)\n",
                         path.c_str(), item.c_str());
            return false;
        }
        words.push_back(static_cast<unsigned short>(w));
    }
    return true;
}

HRESULT SendPattern(IDigIO* dig, const std::vector<unsigned short>& words) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI2, 0, static_cast<ULONG>(words.size()));
    if (!array) {
        return E_OUTOFMEMORY;
    }
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        std::copy(words.begin(), words.end(), static_cast<unsigned short*>(data));
        SafeArrayUnaccessData(array);
    }
    VARIANT table;
    VariantInit(&table);
    table.vt = VT_ARRAY | VT_UI2;
    table.parray = array;
    HRESULT hr = dig->Pattern(&table);
    VariantClear(&table);
    return hr;
}

// The words of a VT_ARRAY|VT_UI2, appended.
void AppendWords(VARIANT& v, std::vector<unsigned short>& out) {
    if (v.vt == (VT_ARRAY | VT_UI2) && v.parray) {
        LONG lo = 0, hi = -1;
        SafeArrayGetLBound(v.parray, 1, &lo);
        SafeArrayGetUBound(v.parray, 1, &hi);
        void* data = nullptr;
        if (hi >= lo && SUCCEEDED(SafeArrayAccessData(v.parray, &data))) {
            auto* w = static_cast<unsigned short*>(data);
            out.insert(out.end(), w, w + (hi - lo + 1));
            SafeArrayUnaccessData(v.parray);
        }
    }
    VariantClear(&v);
}

bool Record(IDigIO* dig, const Options& o, std::vector<unsigned short>& words) {
    const auto deadline = std::chrono::steady_clock::now() + kRecordWait;
    if (o.online) {
        while (words.size() < o.count && std::chrono::steady_clock::now() < deadline) {
            VARIANT v;
            if (!Succeeded("IDigIO::ReadOnline", dig->ReadOnline(&v))) {
                return false;
            }
            AppendWords(v, words);
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        dig->Stop();
        words.resize(std::min<size_t>(words.size(), o.count));
        return true;
    }
    DigStatus status = DIG_READY;
    while (dig->Status(&status) == S_OK && status != DIG_MEASURED && status != DIG_FAILURE &&
           std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (status != DIG_MEASURED) {
        std::printf("The analyser did not finish its record (status %d%s).\n",
                    static_cast<int>(status),
                    status == DIG_TRIGGER ? ": still waiting for the trigger" : "");
        dig->Stop();
        return false;
    }
    VARIANT v;
    if (!Succeeded("IDigIO::Read", dig->Read(&v))) {
        return false;
    }
    AppendWords(v, words);
    return true;
}

// 16 rows, line 15 at the top, at most width columns; a column that holds a
// change shows "|".
void PrintSketch(const std::vector<unsigned short>& words, size_t width) {
    const size_t per = words.empty() ? 1 : (words.size() + width - 1) / width;
    for (int line = kLines - 1; line >= 0; --line) {
        std::string row;
        for (size_t at = 0; at < words.size(); at += per) {
            const bool first = (words[at] >> line) & 1;
            bool change = false;
            for (size_t k = at; k < std::min(words.size(), at + per); ++k) {
                change = change || (((words[k] >> line) & 1) != first);
            }
            row += change ? "|" : first ? "\u203E" : "_";
        }
        std::printf("  D%-2d %s\n", line, row.c_str());
    }
    std::printf("      %zu samples, %zu per column\n", words.size(), per);
}

bool WriteCsv(const std::string& path, const std::vector<unsigned short>& words) {
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "kobctl analyser: cannot write %s\n", path.c_str());
        return false;
    }
    std::fprintf(f, "index,word");
    for (int b = 0; b < kLines; ++b) {
        std::fprintf(f, ",b%d", b);
    }
    std::fprintf(f, "\n");
    for (size_t i = 0; i < words.size(); ++i) {
        std::fprintf(f, "%zu,%u", i, static_cast<unsigned>(words[i]));
        for (int b = 0; b < kLines; ++b) {
            std::fprintf(f, ",%d", (words[i] >> b) & 1);
        }
        std::fprintf(f, "\n");
    }
    return std::fclose(f) == 0;
}

bool WriteDiagramPng(const std::string& path, const std::vector<unsigned short>& words) {
    constexpr double kLeft = 50, kRight = 20, kTop = 20, kLane = 28, kHigh = 18;
    constexpr int kWidth = 1000;
    const int height = static_cast<int>(kTop * 2 + kLane * kLines + 20);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    const double span = kWidth - kLeft - kRight;
    const double step = words.empty() ? span : span / static_cast<double>(words.size());
    for (int line = 0; line < kLines; ++line) {
        const double base = kTop + kLane * (kLines - line); // line 15 on top
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        cairo_move_to(cr, 8, base - 4);
        cairo_show_text(cr, ("D" + std::to_string(line)).c_str());
        cairo_set_source_rgb(cr, 0.1, 0.45 + 0.03 * (line % 4), 0.2);
        cairo_set_line_width(cr, 1.5);
        for (size_t i = 0; i < words.size(); ++i) {
            const double y = (words[i] >> line) & 1 ? base - kHigh : base;
            const double x = kLeft + step * static_cast<double>(i);
            if (i == 0) {
                cairo_move_to(cr, x, y);
            } else {
                cairo_line_to(cr, x, y); // the edge, then the level
            }
            cairo_line_to(cr, x + step, y);
        }
        cairo_stroke(cr);
    }
    cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
    cairo_move_to(cr, kLeft, height - 10);
    cairo_show_text(
        cr, ("sample 0 to " + std::to_string(words.empty() ? 0 : words.size() - 1)).c_str());
    cairo_destroy(cr);
    const bool ok = cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!ok) {
        std::fprintf(stderr, "kobctl analyser: cannot write %s\n", path.c_str());
    }
    return ok;
}

bool ParseOptions(Args& args, Options& o) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool ok = true;
        if (a == "--count") {
            ok = TakeWord("analyser", args, i, 0xFFFF, o.count);
        } else if (a == "--timer") {
            ok = TakeWord("analyser", args, i, 0xFFFF, o.timer);
        } else if (a == "--trigger") {
            const std::string v = i + 1 < args.size() ? args[++i] : "";
            const size_t colon = v.find(':');
            ok = colon != std::string::npos && ParseWord(v.substr(0, colon), 0xFFFF, o.mask) &&
                 ParseWord(v.substr(colon + 1), 0xFFFF, o.trigger);
            if (!ok) {
                std::fprintf(stderr, "kobctl analyser: --trigger takes MASK:PATTERN, such as "
                                     "0x0001:0x0001\n");
            }
        } else if (a == "--online") {
            o.online = true;
        } else if (a == "--json") {
            o.json = true;
        } else if ((a == "--pattern" || a == "--csv" || a == "--png") && i + 1 < args.size()) {
            (a == "--pattern" ? o.pattern : a == "--csv" ? o.csv : o.png) = args[++i];
        } else {
            std::fprintf(stderr, "kobctl analyser: unknown option %s\n", a.c_str());
            ok = false;
        }
        if (!ok) {
            return false;
        }
    }
    if (o.count == 0) {
        std::fprintf(stderr, "kobctl analyser: --count N (1-65535) gives the samples to record\n");
        return false;
    }
    return true;
}

} // namespace

int RunAnalyser(const Args& argsIn) {
    Args args = argsIn;
    LineOptions line;
    Options o;
    std::vector<unsigned short> pattern;
    if (!ParseLineOptions(args, line) || !ParseOptions(args, o) ||
        (!o.pattern.empty() && !ReadPattern(o.pattern, pattern))) {
        return 2;
    }
    return WithComBox(line, [&](IKobaltix* kob, const std::string& version) {
        if (!o.json) {
            std::printf("Box: \"%s\"\nAnalyser: %lu samples, timer %lu, trigger mask 0x%04lX "
                        "pattern 0x%04lX%s\n",
                        version.c_str(), o.count, o.timer, o.mask, o.trigger,
                        o.online ? ", online" : "");
            if (!pattern.empty()) {
                std::printf("Playing %zu words onto the outputs.\n", pattern.size());
            }
        }
        IDigIO* dig = nullptr;
        std::vector<unsigned short> words;
        const bool ok =
            Succeeded("IKobaltix::CreateDigIO", kob->CreateDigIO(&dig)) &&
            (pattern.empty() || Succeeded("IDigIO::Pattern", SendPattern(dig, pattern))) &&
            Succeeded("IDigIO::Timing",
                      dig->Timing(static_cast<unsigned short>(o.timer),
                                  static_cast<unsigned short>(o.count), o.online ? 1 : 0)) &&
            Succeeded("IDigIO::Trigger", dig->Trigger(static_cast<unsigned short>(o.mask),
                                                      static_cast<unsigned short>(o.trigger))) &&
            Succeeded("IDigIO::Start", dig->Start()) && Record(dig, o, words);
        if (dig) {
            dig->Release();
        }
        if (!ok) {
            return 1;
        }
        if (o.json) {
            const std::vector<double> values(words.begin(), words.end());
            JsonObject()
                .Integer("count", static_cast<long long>(words.size()))
                .Numbers("words", values)
                .Print();
        } else {
            PrintSketch(words, 64);
        }
        const bool written = (o.csv.empty() || WriteCsv(o.csv, words)) &&
                             (o.png.empty() || WriteDiagramPng(o.png, words));
        return written ? 0 : 1;
    });
}
