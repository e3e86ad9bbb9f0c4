// Pictures leaving the program: vector documents (SVG, PDF), the clipboard
// and the printer. One interface; each platform has its own backend.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "platform/gfx/gfx.h"

namespace platform {

enum class DocumentKind { Svg, Pdf };

// Draws a picture of size into the context it is given.
using DrawPicture = std::function<void(Gfx& dc)>;

// Writes a vector document of size (in pixels, one pixel a point) drawn by
// draw; false, with no file left behind, when the kind is not available
// here or the file cannot be written.
bool WriteDocument(DocumentKind kind, const std::u16string& path, Size size,
                   const DrawPicture& draw);

// Puts the pixels on the clipboard as a bitmap; false where the platform
// has no clipboard this program can own.
bool CopyToClipboard(const Pixels& pixels);

// Prints the picture on one page, scaled to fit: on Windows through the
// print dialog (false when the user cancels or printing fails); elsewhere
// as the PDF file fallbackPdf (false when it cannot be written).
bool PrintPicture(const std::u16string& title, Size size, const DrawPicture& draw,
                  const std::u16string& fallbackPdf);

} // namespace platform
