// The scope's chart: one record of both channels with a grid in volts and
// seconds, the cursor with its readout, and the record's exports.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vi/controls/hotspot.h"

// A record as the window shows it: buffer samples (the converter's full
// scale at sampleMax) with what turns them into volts and seconds.
struct ScopeRecord {
    std::vector<int16_t> samples[2];
    double fullScale[2] = {0, 0}; // volts at sampleMax
    double division[2] = {1, 1};  // volts per division
    bool shown[2] = {true, true};
    bool grounded[2] = {false, false};
    double secondsPerDiv = 0;
    double sampleTime = 0; // seconds from one sample to the next
    int32_t sampleMax = 127 << 8;

    size_t Count() const { return samples[0].size(); }
    double Volts(int channel, size_t i) const;
    double Seconds(size_t i) const { return static_cast<double>(i) * sampleTime; }
};

// Divisions of the chart.
inline constexpr int32_t kChartDivX = 10;
inline constexpr int32_t kChartDivY = 8;

// Trace colours, A and B.
inline constexpr platform::Color kTraceColour[2] = {platform::Rgb(255, 214, 64),
                                                    platform::Rgb(72, 220, 255)};

// "1 ms", "200 µs", "2.5 V": a value with its unit and the prefix that
// keeps it between 1 and 1000.
std::u16string FormatUnit(double value, const char16_t* unit);

// Draws the record into area of dc: the screen with its grid and traces, a
// scale line under it and, when cursorX is inside the screen, the cursor
// with its readout.
void DrawScopeChart(platform::Gfx& dc, const platform::Rect& area, const ScopeRecord& record,
                    int32_t cursorX);
// The screen part of a chart of that area (the scale lines below it).
platform::Rect ChartScreen(const platform::Rect& area);

// Writes the record as CSV (t_s,a_V,b_V; values that read back to the same
// doubles); false, with no file left behind, when it cannot be written.
bool WriteRecordCsv(const ScopeRecord& record, const std::u16string& path);

// The chart as a panel control (the panel's custom control): a click puts
// the cursor where it was pressed.
class CHotScopeChart : public CHotspot {
public:
    explicit CHotScopeChart(const ScopeRecord& record) : m_Record(record) {}

    bool OnClick(platform::Gfx& dc, CBaseVI* wnd) override;
    void Draw(platform::Gfx& dc, bool onlyIfChanged) override;

    // Client x of the cursor; -1 for none.
    int32_t m_nCursorX = -1;

private:
    const ScopeRecord& m_Record;
};
