// SVG and PDF documents written by the program itself, for platforms whose
// drawing library has no vector surfaces.
#pragma once

#include <string>

#include "platform/export/export.h"

namespace platform {

// Draws the picture into an SVG text or a one-page PDF of size.cx x size.cy
// points (one pixel a point) and returns the document; empty when the size
// is not drawable. Text is set in the standard fonts and measured with their
// published widths, so a picture lays out alike wherever it is made.
std::string DrawVectorDocument(DocumentKind kind, Size size, const DrawPicture& draw);

} // namespace platform
