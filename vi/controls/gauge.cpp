#include "vi/controls/gauge.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "instruments/meter/meter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Scale {
    double end;
    double factor;
};
constexpr Scale kRanges[] = {{100, 1000}, {200, 1000}, {500, 1000}, {1, 1}, {2, 1},
                             {5, 1},      {10, 1},     {20, 1},     {50, 1}};

// Percentages above this would only draw outside the control.
constexpr uint32_t kMaxPercent = 1000;

// Pixel sums in 64 bits, kept inside the coordinate range (panel
// rectangles are not trusted to be small).
int32_t Pixel(int64_t base, double offset) {
    const int64_t sum = base + static_cast<int64_t>(offset);
    return static_cast<int32_t>(std::clamp<int64_t>(sum, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

} // namespace

CHotGauge::CHotGauge(CBaseVI* wnd) : m_pWnd(wnd), m_Face(5270, 1), m_Labels(5271, 11) {
    m_nTag = kTagGauge;
    m_nId = 0xFFFFFFFFu;
    m_dwFlags = kHsPassive | kHsGrowHit;
    m_szImage = m_Face.ImageSize();
}

void CHotGauge::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    if (ar.IsStoring()) {
        ar << m_dStart << m_dEnd << m_dFactor << m_nRadius << m_nInset << m_dStartAngle
           << m_dEndAngle << m_nTip << m_nBase << m_crNeedle;
        return;
    }
    double start = 0, end = 0, factor = 0, startAngle = 0, endAngle = 0;
    uint32_t radius = 0, inset = 0, tip = 0, base = 0, colour = 0;
    ar >> start >> end >> factor >> radius >> inset >> startAngle >> endAngle >> tip >> base >>
        colour;
    // The needle divides by the scale's span and turns doubles into pixels.
    const bool finite = std::isfinite(start) && std::isfinite(end) && std::isfinite(factor) &&
                        std::isfinite(startAngle) && std::isfinite(endAngle);
    if (!finite || !(end > start) || inset > 50 || tip > kMaxPercent || base > kMaxPercent)
        ThrowBadControlData();
    m_dStart = start;
    m_dEnd = end;
    m_dFactor = factor;
    m_nInset = inset;
    m_dStartAngle = startAngle;
    m_dEndAngle = endAngle;
    m_nTip = tip;
    m_nBase = base;
    m_crNeedle = colour;
    RecalcSize();
}

void CHotGauge::RecalcSize() {
    // Without its face the control keeps the rectangle it has.
    if (m_Face.IsLoaded())
        CHotspot::RecalcSize();
    m_nRadius = static_cast<uint32_t>(
        std::clamp<int64_t>((int64_t{m_rcArea.right} - m_rcArea.left) / 2, 0, INT32_MAX));
}

bool CHotGauge::SetRange(uint32_t range) {
    if (range >= std::size(kRanges))
        return false;
    m_nRange = range;
    m_dStart = 0;
    m_dEnd = kRanges[range].end;
    m_dFactor = kRanges[range].factor;
    return true;
}

double CHotGauge::Value() const {
    const MeterRecord rec = GetMeterRecord(m_bChannelA);
    return m_nReading < kMeterValues ? rec.v[m_nReading] : 0.0;
}

void CHotGauge::Needle(double value, platform::Point out[3]) const {
    const int64_t width = std::clamp<int64_t>(int64_t{m_rcArea.right} - m_rcArea.left, 0, 1 << 20);
    const int64_t px = m_rcArea.left + width / 2;
    const int64_t py = m_rcArea.bottom;
    const int64_t r = width / 2;
    const int64_t len = r - 2 * (r * m_nInset / 100);
    double v = std::fabs(value * m_dFactor);
    // NaN (no reading) rests at the start of the scale.
    v = std::isnan(v) ? m_dStart : std::clamp(v, m_dStart, m_dEnd);
    const double theta =
        (m_dStartAngle - m_dEndAngle) * ((v - m_dStart) / (m_dEnd - m_dStart)) - m_dStartAngle;
    const double tip = static_cast<double>(len * m_nTip / 100);
    const double base = static_cast<double>(len * m_nBase / 100);
    out[0] = {Pixel(px, std::sin(theta) * tip), Pixel(py, std::cos(theta) * tip)};
    // Products truncated before they are added, the minus point one pixel
    // further left.
    const int64_t bx = static_cast<int64_t>(std::sin(theta + kPi / 2) * base);
    const int64_t by = static_cast<int64_t>(std::cos(theta + kPi / 2) * base);
    out[1] = {Pixel(px + bx, 0), Pixel(py + by, 0)};
    out[2] = {Pixel(px - bx - 1, 0), Pixel(py - by, 0)};
}

void CHotGauge::Draw(platform::Gfx& dc, bool) {
    std::unique_ptr<platform::Gfx> buffer = dc.CreateBuffer(m_rcArea);
    platform::Gfx& g = buffer ? *buffer : dc;
    m_Face.Draw(g, 0, {m_rcArea.left, m_rcArea.top}, platform::Transparency::Magenta);
    m_Labels.Draw(g, 8 - static_cast<int32_t>(m_nRange), {m_rcArea.left, m_rcArea.top + 10});
    platform::Point needle[3];
    Needle(Value(), needle);
    g.Polygon(needle, 3, m_crNeedle);
    if (buffer)
        dc.CopyBuffer(*buffer);
}
