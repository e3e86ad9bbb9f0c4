// The scope's chart and the record's CSV.
#include "vi/scope/chart.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "framework/wstr.h"
#include "vi/basevi.h"

namespace {

constexpr platform::Color kScreen = platform::Rgb(16, 28, 22);
constexpr platform::Color kGrid = platform::Rgb(58, 84, 70);
constexpr platform::Color kAxis = platform::Rgb(104, 140, 120);
constexpr platform::Color kCursor = platform::Rgb(240, 240, 240);
constexpr platform::Color kScaleText = platform::Rgb(20, 20, 20);
constexpr platform::Color kScaleStrip = platform::Rgb(228, 230, 226);
constexpr int32_t kLineHeight = 15;

platform::FontSpec ChartFont() {
    platform::FontSpec f;
    f.height = -11;
    return f;
}

// Shortest text that reads back to the same double.
std::string Exact(double v) {
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

std::u16string Ascii(const char* s) {
    return Widen(s);
}

} // namespace

double ScopeRecord::Volts(int channel, size_t i) const {
    const auto& s = samples[channel];
    if (i >= s.size() || sampleMax == 0)
        return 0.0;
    return s[i] / static_cast<double>(sampleMax) * fullScale[channel];
}

std::u16string FormatUnit(double value, const char16_t* unit) {
    static const struct {
        double factor;
        const char16_t* prefix;
    } prefixes[] = {{1e-9, u"n"}, {1e-6, u"\u00b5"}, {1e-3, u"m"}, {1, u""}, {1e3, u"k"}};
    const double mag = std::fabs(value);
    size_t p = 3;
    if (mag > 0) {
        p = 0;
        while (p + 1 < std::size(prefixes) && mag >= prefixes[p + 1].factor * 0.9995)
            ++p;
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g ", value / prefixes[p].factor);
    return Ascii(buf) + prefixes[p].prefix + unit;
}

platform::Rect ChartScreen(const platform::Rect& area) {
    return {area.left, area.top, area.right, std::max(area.top + 1, area.bottom - 2 * kLineHeight)};
}

namespace {

int32_t TraceY(const platform::Rect& s, double volts, double division) {
    const double mid = (s.top + s.bottom) / 2.0;
    const double perDiv = s.Height() / static_cast<double>(kChartDivY);
    double y = mid - volts / division * perDiv;
    y = std::clamp(y, static_cast<double>(s.top), static_cast<double>(s.bottom - 1));
    return static_cast<int32_t>(std::lround(y));
}

int32_t SampleX(const platform::Rect& s, size_t i, size_t count) {
    if (count < 2)
        return s.left;
    return s.left + static_cast<int32_t>(std::lround(static_cast<double>(i) * (s.Width() - 1) /
                                                     static_cast<double>(count - 1)));
}

void DrawGrid(platform::Gfx& dc, const platform::Rect& s) {
    dc.FillRect(s, kScreen);
    for (int32_t d = 0; d <= kChartDivX; ++d) {
        const int32_t x = s.left + d * (s.Width() - 1) / kChartDivX;
        dc.Line({x, s.top}, {x, s.bottom - 1}, d == kChartDivX / 2 ? kAxis : kGrid);
    }
    for (int32_t d = 0; d <= kChartDivY; ++d) {
        const int32_t y = s.top + d * (s.Height() - 1) / kChartDivY;
        dc.Line({s.left, y}, {s.right - 1, y}, d == kChartDivY / 2 ? kAxis : kGrid);
    }
}

void DrawTrace(platform::Gfx& dc, const platform::Rect& s, const ScopeRecord& r, int c) {
    const size_t n = r.samples[c].size();
    platform::Point last{};
    for (size_t i = 0; i < n; ++i) {
        const platform::Point p{SampleX(s, i, n), TraceY(s, r.Volts(c, i), r.division[c])};
        if (i)
            dc.Line(last, p, kTraceColour[c]);
        last = p;
    }
}

// Volts of channel A beside every second grid line, seconds under them.
void DrawLabels(platform::Gfx& dc, const platform::Rect& s, const ScopeRecord& r) {
    const platform::FontSpec font = ChartFont();
    const int c = r.shown[0] ? 0 : 1;
    for (int32_t d = 0; d < kChartDivY; d += 2) {
        const double volts = (kChartDivY / 2 - d) * r.division[c];
        const int32_t y = s.top + d * (s.Height() - 1) / kChartDivY;
        dc.Text({s.left + 3, y + 1}, FormatUnit(volts, u"V"), font, kTraceColour[c]);
    }
    for (int32_t d = 0; d < kChartDivX; d += 2) {
        const int32_t x = s.left + d * (s.Width() - 1) / kChartDivX;
        const std::u16string t = FormatUnit(d * r.secondsPerDiv, u"s");
        dc.Text({d ? x - dc.TextExtent(t, font).cx / 2 : x, s.bottom + 1}, t, font, kScaleText);
    }
}

void DrawScale(platform::Gfx& dc, const platform::Rect& s, const ScopeRecord& r, int32_t cursorX) {
    const platform::FontSpec font = ChartFont();
    const int32_t y = s.bottom + kLineHeight;
    int32_t x = s.left;
    const char16_t* names[2] = {u"A ", u"B "};
    for (int c = 0; c < 2; ++c) {
        if (!r.shown[c])
            continue;
        const std::u16string t = names[c] + (r.grounded[c] ? std::u16string(u"GND")
                                                           : FormatUnit(r.division[c], u"V/div"));
        dc.FillRect({x, y + 3, x + 8, y + 11}, kTraceColour[c]);
        dc.Text({x + 11, y}, t, font, kScaleText);
        x += 26 + dc.TextExtent(t, font).cx;
    }
    dc.Text({x, y}, FormatUnit(r.secondsPerDiv, u"s/div"), font, kScaleText);
    const size_t n = r.Count();
    if (cursorX < s.left || cursorX >= s.right || n == 0)
        return;
    const size_t i =
        n < 2 ? 0
              : static_cast<size_t>(
                    std::lround((cursorX - s.left) * static_cast<double>(n - 1) / (s.Width() - 1)));
    std::u16string t = u"t " + FormatUnit(r.Seconds(i), u"s");
    for (int c = 0; c < 2; ++c)
        if (r.shown[c])
            t += std::u16string(u"  ") + names[c] + FormatUnit(r.Volts(c, i), u"V");
    dc.Text({s.right - dc.TextExtent(t, font).cx, y}, t, font, kScaleText);
}

} // namespace

void DrawScopeChart(platform::Gfx& dc, const platform::Rect& area, const ScopeRecord& record,
                    int32_t cursorX) {
    const platform::Rect s = ChartScreen(area);
    dc.FillRect({area.left, s.bottom, area.right, area.bottom}, kScaleStrip);
    DrawGrid(dc, s);
    // B first, so that A lies on top where they meet.
    for (int c : {1, 0})
        if (record.shown[c])
            DrawTrace(dc, s, record, c);
    if (cursorX >= s.left && cursorX < s.right)
        dc.Line({cursorX, s.top}, {cursorX, s.bottom - 1}, kCursor);
    DrawLabels(dc, s, record);
    DrawScale(dc, s, record, cursorX);
}

bool WriteRecordCsv(const ScopeRecord& record, const std::u16string& path) {
    const std::string target = Narrow(path);
    const std::string part = target + ".part";
    bool ok;
    {
        std::ofstream out(part, std::ios::binary);
        out << "t_s,a_V,b_V\n";
        for (size_t i = 0; i < record.Count(); ++i)
            out << Exact(record.Seconds(i)) << ',' << Exact(record.Volts(0, i)) << ','
                << Exact(record.Volts(1, i)) << '\n';
        out.close();
        ok = static_cast<bool>(out);
    }
    // Windows renames onto no existing file: the old one goes only once the
    // new one is complete.
    if (ok && std::rename(part.c_str(), target.c_str()) != 0)
        ok = std::remove(target.c_str()) == 0 && std::rename(part.c_str(), target.c_str()) == 0;
    if (!ok)
        std::remove(part.c_str());
    return ok;
}

bool CHotScopeChart::OnClick(platform::Gfx& dc, CBaseVI* wnd) {
    if (!wnd || !wnd->Wnd())
        return false;
    const int32_t x = wnd->Wnd()->CursorPos().x;
    m_nCursorX = x == m_nCursorX ? -1 : x; // a second click on the cursor removes it
    Draw(dc, false);
    return true;
}

void CHotScopeChart::Draw(platform::Gfx& dc, bool) {
    DrawScopeChart(dc, m_rcArea, m_Record, m_nCursorX);
}
