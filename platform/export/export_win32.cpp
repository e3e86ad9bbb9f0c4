// The clipboard and the print dialog through the Windows API. Vector files
// are written by the cairo backend only.
#include <windows.h>

#include <commdlg.h>

#include <cstring>

#include "platform/export/export.h"
#include "platform/gfx/gfx_win32.h"

namespace platform {

bool WriteDocument(DocumentKind, const std::u16string&, Size, const DrawPicture&) {
    return false;
}

bool CopyToClipboard(const Pixels& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0 ||
        pixels.data.size() != size_t(pixels.width) * size_t(pixels.height)) {
        return false;
    }
    const size_t bytes = sizeof(BITMAPINFOHEADER) + pixels.data.size() * 4;
    HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, bytes);
    if (!mem) {
        return false;
    }
    auto* head = static_cast<BITMAPINFOHEADER*>(GlobalLock(mem));
    std::memset(head, 0, sizeof(*head));
    head->biSize = sizeof(*head);
    head->biWidth = pixels.width;
    head->biHeight = pixels.height; // bottom-up rows
    head->biPlanes = 1;
    head->biBitCount = 32;
    head->biCompression = BI_RGB;
    auto* bits = reinterpret_cast<uint32_t*>(head + 1);
    for (int32_t y = 0; y < pixels.height; ++y) {
        for (int32_t x = 0; x < pixels.width; ++x) {
            const Color c = pixels.At(x, pixels.height - 1 - y);
            // 0x00BBGGRR to the DIB's 0x00RRGGBB.
            bits[size_t(y) * size_t(pixels.width) + size_t(x)] =
                ((c & 0xFF) << 16) | (c & 0xFF00) | ((c >> 16) & 0xFF);
        }
    }
    GlobalUnlock(mem);
    bool ok = OpenClipboard(nullptr) && EmptyClipboard() && SetClipboardData(CF_DIB, mem);
    if (!ok) {
        GlobalFree(mem);
    }
    CloseClipboard();
    return ok;
}

bool PrintPicture(const std::u16string& title, Size size, const DrawPicture& draw,
                  const std::u16string&) {
    if (size.cx <= 0 || size.cy <= 0) {
        return false;
    }
    PRINTDLGW pd{};
    pd.lStructSize = sizeof(pd);
    pd.Flags = PD_RETURNDC | PD_NOSELECTION | PD_NOPAGENUMS;
    if (!PrintDlgW(&pd) || !pd.hDC) {
        return false;
    }
    HDC dc = pd.hDC;
    DOCINFOW doc{};
    doc.cbSize = sizeof(doc);
    doc.lpszDocName = reinterpret_cast<const wchar_t*>(title.c_str());
    bool ok = StartDocW(dc, &doc) > 0 && StartPage(dc) > 0;
    if (ok) {
        // The picture scaled to the printable width, its proportions kept.
        SetMapMode(dc, MM_ISOTROPIC);
        SetWindowExtEx(dc, size.cx, size.cy, nullptr);
        SetViewportExtEx(dc, GetDeviceCaps(dc, HORZRES), GetDeviceCaps(dc, VERTRES), nullptr);
        {
            DcGfx gfx(dc, Rect{0, 0, size.cx, size.cy});
            draw(gfx);
        }
        ok = EndPage(dc) > 0 && EndDoc(dc) > 0;
    }
    if (!ok) {
        AbortDoc(dc);
    }
    DeleteDC(dc);
    if (pd.hDevMode) {
        GlobalFree(pd.hDevMode);
    }
    if (pd.hDevNames) {
        GlobalFree(pd.hDevNames);
    }
    return ok;
}

} // namespace platform
