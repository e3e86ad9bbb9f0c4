// The panel fonts as the standard fonts every SVG and PDF viewer has
// (Helvetica, Times, Courier), with their widths for measuring text.
#pragma once

#include <string>

#include "platform/gfx/gfx.h"

namespace platform {

enum class StdFamily { Sans, Serif, Mono };

struct StdFont {
    StdFamily family = StdFamily::Sans;
    bool bold = false;
    bool italic = false;
    double size = 12; // em in pixels
};

// The line of a Helvetica-metric face, in em: the text's top lies this far
// above its baseline, its bottom this far below.
inline constexpr double kStdAscent = 0.905;
inline constexpr double kStdDescent = 0.212;

// Windows' font record: a negative height is the character height (the em),
// a positive one the cell height; weight 600 and above is bold.
StdFont MapFont(const FontSpec& font);
// "Helvetica-BoldOblique" and the like.
const char* PdfBaseFont(const StdFont& font);
// A font-family list ending in the generic family.
const char* SvgFamily(StdFamily family);

// The text in Windows-1252, the encoding of the standard fonts; anything
// outside it becomes '?' (a surrogate pair one '?').
std::string ToWinAnsi(const std::u16string& text);
// Width in pixels of WinAnsi text, from the fonts' published metrics.
double TextWidth(const std::string& winAnsi, const StdFont& font);

} // namespace platform
