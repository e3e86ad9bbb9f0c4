#include "tools/kobctl/plot.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <cstdio>

namespace {

constexpr int kWidth = 900;
constexpr int kHeight = 520;
constexpr double kLeft = 70, kRight = 36, kTop = 30, kBottom = 50;

struct Rgb {
    double r, g, b;
};
const Rgb kColours[] = {{0.85, 0.55, 0.0}, {0.1, 0.45, 0.85}};

// 1, 2 or 5 times a power of ten, near span / 5.
double NiceStep(double span) {
    double raw = span / 5;
    double p = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * p >= raw) {
            return m * p;
        }
    }
    return 10 * p;
}

// Seconds with a unit a person reads.
std::string TimeLabel(double s) {
    char buf[32];
    double a = std::fabs(s);
    if (a == 0) {
        std::snprintf(buf, sizeof buf, "0");
    } else if (a < 1e-3) {
        std::snprintf(buf, sizeof buf, "%g us", s * 1e6);
    } else if (a < 1) {
        std::snprintf(buf, sizeof buf, "%g ms", s * 1e3);
    } else {
        std::snprintf(buf, sizeof buf, "%g s", s);
    }
    return buf;
}

} // namespace

// The vertical extent of a trace: a 1-2-5 step above its peak.
double Extent(const ScopeTrace& t) {
    double peak = 0;
    for (double v : t.volts) {
        peak = std::max(peak, std::fabs(v));
    }
    if (peak <= 0) {
        return t.fullScale > 0 ? t.fullScale : 1;
    }
    double p = std::pow(10.0, std::floor(std::log10(peak)));
    for (double m : {1.0, 1.25, 1.5, 2.0, 2.5, 3.0, 4.0, 5.0, 6.0, 8.0, 10.0}) {
        if (m * p >= peak * 1.05) {
            return m * p;
        }
    }
    return 10 * p;
}

bool WritePlotPng(const std::string& path, double delta, const std::vector<ScopeTrace>& traces,
                  std::string& error) {
    size_t n = 0;
    for (const auto& t : traces) {
        n = std::max(n, t.volts.size());
    }
    const double total = n > 1 ? (n - 1) * delta : delta;
    const int panels = std::max<int>(1, static_cast<int>(traces.size()));
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    const double pw = kWidth - kLeft - kRight;
    const double gap = 24;
    const double ph = (kHeight - kTop - kBottom - gap * (panels - 1)) / panels;
    auto X = [&](double t) { return kLeft + (total > 0 ? t / total : 0) * pw; };

    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 12);
    const double tstep = NiceStep(total > 0 ? total : 1);

    // One panel per channel, each with its own volt axis.
    for (int k = 0; k < panels && k < static_cast<int>(traces.size()); ++k) {
        const ScopeTrace& trace = traces[static_cast<size_t>(k)];
        const double top = kTop + k * (ph + gap);
        const double vmax = Extent(trace);
        auto Y = [&](double v) { return top + ph / 2 - v / vmax * ph / 2; };
        cairo_set_line_width(cr, 1);
        const double vstep = NiceStep(2 * vmax);
        for (double v = -std::floor(vmax / vstep + 1e-9) * vstep; v <= vmax + 1e-12; v += vstep) {
            cairo_set_source_rgb(cr, std::fabs(v) < 1e-12 ? 0.6 : 0.88, 0.88, 0.88);
            cairo_move_to(cr, kLeft, Y(v));
            cairo_line_to(cr, kLeft + pw, Y(v));
            cairo_stroke(cr);
            char buf[32];
            std::snprintf(buf, sizeof buf, "%g V", std::fabs(v) < 1e-12 ? 0.0 : v);
            cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
            cairo_move_to(cr, 8, Y(v) + 4);
            cairo_show_text(cr, buf);
        }
        for (double t = 0; t <= total + 1e-15; t += tstep) {
            cairo_set_source_rgb(cr, 0.88, 0.88, 0.88);
            cairo_move_to(cr, X(t), top);
            cairo_line_to(cr, X(t), top + ph);
            cairo_stroke(cr);
        }
        cairo_set_source_rgb(cr, 0.3, 0.3, 0.3);
        cairo_rectangle(cr, kLeft, top, pw, ph);
        cairo_stroke(cr);

        const Rgb& c = kColours[k % 2];
        cairo_set_source_rgb(cr, c.r, c.g, c.b);
        cairo_set_line_width(cr, 1.5);
        const auto& v = trace.volts;
        for (size_t i = 0; i < v.size(); ++i) {
            double y = Y(std::clamp(v[i], -vmax, vmax));
            if (i == 0) {
                cairo_move_to(cr, X(0), y);
            } else {
                cairo_line_to(cr, X(i * delta), y);
            }
        }
        cairo_stroke(cr);
        char buf[96];
        std::snprintf(buf, sizeof buf, "channel %s (volts; range %g V full scale)",
                      trace.name.c_str(), trace.fullScale);
        cairo_move_to(cr, kLeft + 6, top - 6);
        cairo_show_text(cr, buf);
    }
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    const double bottom = kHeight - kBottom;
    for (double t = 0; t <= total + 1e-15; t += tstep) {
        cairo_move_to(cr, X(t) - 14, bottom + 18);
        cairo_show_text(cr, TimeLabel(t).c_str());
    }
    cairo_move_to(cr, kLeft + pw / 2 - 30, kHeight - 10);
    cairo_show_text(cr, "time (s)");
    cairo_destroy(cr);
    cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = cairo_status_to_string(status);
        return false;
    }
    return true;
}

std::string Sketch(const std::vector<ScopeTrace>& traces, int width, int height) {
    // A band per trace, each scaled to its own extent.
    std::string out;
    for (const auto& t : traces) {
        const double vmax = Extent(t);
        std::vector<std::string> rows(static_cast<size_t>(height), std::string(width, ' '));
        rows[static_cast<size_t>(height / 2)].assign(static_cast<size_t>(width), '-');
        const auto& v = t.volts;
        const char mark = t.name.empty() ? '*' : t.name[0];
        auto Row = [&](double volts) {
            int y = static_cast<int>(std::lround((1 - volts / vmax) * (height - 1) / 2));
            return static_cast<size_t>(std::clamp(y, 0, height - 1));
        };
        // Each column spans the samples it covers, joined to the next.
        size_t prev = v.empty() ? 0 : Row(v[0]);
        for (int x = 0; x < width && !v.empty(); ++x) {
            size_t from = static_cast<size_t>(x) * v.size() / width;
            size_t to = std::max(from + 1, static_cast<size_t>(x + 1) * v.size() / width);
            size_t lo = prev, hi = prev;
            for (size_t i = from; i < to && i < v.size(); ++i) {
                lo = std::min(lo, Row(v[i]));
                hi = std::max(hi, Row(v[i]));
            }
            for (size_t r = lo; r <= hi; ++r) {
                rows[r][static_cast<size_t>(x)] = mark;
            }
            prev = Row(v[std::min(v.size(), to) - 1]);
        }
        char label[64];
        for (int r = 0; r < height; ++r) {
            label[0] = 0;
            if (r == 0 || r == height / 2 || r == height - 1) {
                std::snprintf(label, sizeof label, "%+g V", vmax * (1 - 2.0 * r / (height - 1)));
            }
            char head[80];
            std::snprintf(head, sizeof head, "%-3s%8s |", r == 0 ? t.name.c_str() : "", label);
            out += head + rows[static_cast<size_t>(r)] + "\n";
        }
    }
    return out;
}
