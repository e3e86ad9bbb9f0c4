#include "vi/controls/hot3phdisp.h"

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <utility>

namespace {

constexpr uint32_t kMaxPeriods = 8;
constexpr platform::Color kGrid = platform::Rgb(0x2E, 0x4A, 0x36);
constexpr platform::Color kAxis = platform::Rgb(0x5A, 0x80, 0x66);

// The colour of a trace while the outputs are off: a third of the way
// from the background.
platform::Color Dimmed(platform::Color c, platform::Color back) {
    platform::Color out = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const uint32_t a = (c >> shift) & 0xFF, b = (back >> shift) & 0xFF;
        out |= ((a + 2 * b) / 3) << shift;
    }
    return out;
}

// The built-in waveforms over one period p in [0, 1), as the box plays them.
double Shape(uint32_t function, double p, const std::vector<double>& formula) {
    constexpr double kTwoPi = 2 * std::numbers::pi;
    switch (function) {
    case 0:
        return std::sin(kTwoPi * p);
    case 1: // with a third of its third harmonic
        return std::sin(kTwoPi * p) + std::sin(3 * kTwoPi * p) / 3;
    case 2:
        return p < 0.5 ? 1.0 : -1.0;
    case 3: // a third of the period high
        return p < 1.0 / 3 ? 1.0 : -1.0;
    case 4:
        return 1.0;
    case 5:
        return -1.0;
    case 6:
        if (!formula.empty()) {
            const auto i = static_cast<size_t>(p * static_cast<double>(formula.size()));
            return formula[i < formula.size() ? i : formula.size() - 1];
        }
        break;
    default:
        break;
    }
    return std::numeric_limits<double>::quiet_NaN();
}

} // namespace

CHot3PhDisp::CHot3PhDisp() {
    m_nTag = kTag3PhDisp;
    m_dwFlags = kHsVisible | kHsPassive;
}

void CHot3PhDisp::Serialize(CArchive& ar) {
    CHotspot::Serialize(ar);
    const auto [periods, back] = SerializeWords<2>(ar, {m_nPeriods, m_crBack});
    if (ar.IsLoading()) {
        if (periods < 1 || periods > kMaxPeriods)
            ThrowBadControlData();
        m_nPeriods = periods;
        m_crBack = back & 0xFFFFFF;
    }
}

bool CHot3PhDisp::SetView(P3View view) {
    if (view == m_View)
        return false;
    m_View = std::move(view);
    return true;
}

double CHot3PhDisp::Level(int phase, double x) const {
    if (phase < 0 || phase > 2)
        return 0.0;
    // In DC mode a switched-off output is at 0 V.
    if (m_View.dcMode && !m_View.phaseOn[phase])
        return 0.0;
    const double turns = x / (2 * std::numbers::pi) - (m_View.phase[phase] % 360) / 360.0;
    const double p = turns - std::floor(turns);
    const double level = Shape(m_View.function, p, m_View.formula);
    const double amplitude = std::fmin(m_View.amplitude[phase], 100u) / 100.0;
    return level * amplitude;
}

void CHot3PhDisp::Draw(platform::Gfx& dc, bool) {
    std::unique_ptr<platform::Gfx> buffer = dc.CreateBuffer(m_rcArea);
    platform::Gfx& g = buffer ? *buffer : dc;
    const platform::Rect& r = m_rcArea;
    const int32_t w = r.right - r.left, h = r.bottom - r.top;
    g.FillRect(r, m_crBack);
    if (w > 8 && h > 8) {
        // Full scale a few pixels inside the edges; a grid line every
        // quarter period.
        const int32_t mid = r.top + h / 2, half = h / 2 - 4;
        for (uint32_t q = 1; q < 4 * m_nPeriods; ++q) {
            const int32_t x = r.left + static_cast<int32_t>(int64_t{w} * q / (4 * m_nPeriods));
            g.Line({x, r.top}, {x, r.bottom - 1}, q % 4 ? kGrid : kAxis);
        }
        g.Line({r.left, mid - half}, {r.right - 1, mid - half}, kGrid);
        g.Line({r.left, mid + half}, {r.right - 1, mid + half}, kGrid);
        g.Line({r.left, mid}, {r.right - 1, mid}, kAxis);
        // Phase 1 last, so that it stays on top where the traces meet.
        for (int phase = 2; phase >= 0; --phase) {
            const platform::Color c =
                m_View.on ? kP3PhaseColours[phase] : Dimmed(kP3PhaseColours[phase], m_crBack);
            platform::Point last{};
            bool have = false;
            for (int32_t i = 0; i < w; ++i) {
                const double x = 2 * std::numbers::pi * m_nPeriods * i / w;
                const double v = Level(phase, x);
                if (std::isnan(v)) {
                    have = false;
                    continue;
                }
                const platform::Point p{r.left + i,
                                        mid - static_cast<int32_t>(std::lround(v * half))};
                if (have)
                    g.Line(last, p, c, 2);
                last = p;
                have = true;
            }
        }
    }
    g.FrameRect(r, kAxis);
    if (buffer)
        dc.CopyBuffer(*buffer);
}
