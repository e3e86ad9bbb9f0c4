// Vector documents and printing with cairo's SVG and PDF surfaces; the
// clipboard is the X display's that the calling thread's windows are on.
#include <cairo-pdf.h>
#include <cairo-svg.h>

#include <cstdio>

#include "framework/wstr.h"
#include "platform/export/export.h"
#include "platform/gfx/cairo_gfx.h"
#include "platform/window/window_posix.h"

namespace platform {

bool WriteDocument(DocumentKind kind, const std::u16string& path, Size size,
                   const DrawPicture& draw) {
    if (size.cx <= 0 || size.cy <= 0) {
        return false;
    }
    // Written beside the target and renamed, so a failure leaves no half file.
    const std::string target = Narrow(path);
    const std::string part = target + ".part";
    cairo_surface_t* s = kind == DocumentKind::Svg
                             ? cairo_svg_surface_create(part.c_str(), size.cx, size.cy)
                             : cairo_pdf_surface_create(part.c_str(), size.cx, size.cy);
    bool ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    if (ok) {
        auto dc = CreateCairoGfx(s, {0, 0}, {0, 0, size.cx, size.cy});
        draw(*dc);
        dc.reset();
        cairo_surface_finish(s);
        ok = cairo_surface_status(s) == CAIRO_STATUS_SUCCESS;
    }
    cairo_surface_destroy(s);
    ok = ok && std::rename(part.c_str(), target.c_str()) == 0;
    if (!ok) {
        std::remove(part.c_str());
    }
    return ok;
}

bool CopyToClipboard(const Pixels& pixels) {
    return X11CopyToClipboard(pixels);
}

bool PrintPicture(const std::u16string&, Size size, const DrawPicture& draw,
                  const std::u16string& fallbackPdf) {
    return WriteDocument(DocumentKind::Pdf, fallbackPdf, size, draw);
}

} // namespace platform
