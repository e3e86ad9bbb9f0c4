// Pictures of a scope record: a PNG plot (cairo) and a sketch for the
// terminal.
#pragma once

#include <string>
#include <vector>

struct ScopeTrace {
    std::string name; // "A", "B"
    std::vector<double> volts;
    double fullScale = 0; // the range's full scale, for the vertical axis
};

// Axes in seconds and volts, one colour per trace. False with error set.
bool WritePlotPng(const std::string& path, double delta, const std::vector<ScopeTrace>& traces,
                  std::string& error);
// Rows of text, each trace drawn with its own letter, zero marked.
std::string Sketch(const std::vector<ScopeTrace>& traces, int width, int height);
