#include "vi/controls/gauge1.h"

#include <algorithm>
#include <cmath>
#include <limits>

CHotGauge1::CHotGauge1(CBaseVI* wnd)
    : CHotGauge(wnd), m_dValue(std::numeric_limits<double>::quiet_NaN()) {
    m_nTag = kTagGauge1;
}

void CHotGauge1::Serialize(CArchive& ar) {
    CHotGauge::Serialize(ar);
    // The needle of the first instrument runs over the fraction 0..1.
    m_dStart = 0.0;
    m_dEnd = 1.0;
    m_dFactor = 1.0;
}

bool CHotGauge1::SetScale(double low, double high, const WString& caption) {
    if (!std::isfinite(low) || !std::isfinite(high) || !(high > low))
        return false;
    m_dLow = low;
    m_dHigh = high;
    m_strCaption = caption;
    return true;
}

bool CHotGauge1::SetValue(double value) {
    const double before = Fraction();
    m_dValue = value;
    const double after = Fraction();
    return !(before == after || (std::isnan(before) && std::isnan(after)));
}

double CHotGauge1::Fraction() const {
    if (std::isnan(m_dValue))
        return m_dValue;
    return std::clamp((m_dValue - m_dLow) / (m_dHigh - m_dLow), 0.0, 1.0);
}

void CHotGauge1::Draw(platform::Gfx& dc, bool) {
    std::unique_ptr<platform::Gfx> buffer = dc.CreateBuffer(m_rcArea);
    platform::Gfx& g = buffer ? *buffer : dc;
    m_Face.Draw(g, 0, {m_rcArea.left, m_rcArea.top}, platform::Transparency::Magenta);
    platform::FontSpec font;
    font.height = -11;
    const platform::Size ext = g.TextExtent(m_strCaption, font);
    g.Text({(m_rcArea.left + m_rcArea.right - ext.cx) / 2, m_rcArea.top + 10}, m_strCaption, font,
           platform::Rgb(0x20, 0x20, 0x20));
    platform::Point needle[3];
    Needle(Fraction(), needle);
    g.Polygon(needle, 3, m_crNeedle);
    if (buffer)
        dc.CopyBuffer(*buffer);
}
