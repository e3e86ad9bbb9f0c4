// Vector files from the program's own writer; the clipboard and the print
// dialog through the Windows API.
#include <windows.h>

#include <commdlg.h>

#include <algorithm>
#include <cstring>

#include "platform/export/export.h"
#include "platform/export/vector_gfx.h"
#include "platform/gfx/gfx_win32.h"

namespace platform {

bool WriteDocument(DocumentKind kind, const std::u16string& path, Size size,
                   const DrawPicture& draw) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) {
        return false;
    }
    const std::string document = DrawVectorDocument(kind, size, draw);
    if (document.empty()) {
        return false;
    }
    // Written beside the target and renamed, so a failure leaves no half file.
    const std::wstring target(path.begin(), path.end());
    const std::wstring temp = target + L".part";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool ok = true;
    for (size_t at = 0; ok && at < document.size();) {
        const DWORD chunk = DWORD(std::min<size_t>(document.size() - at, 1u << 20));
        DWORD written = 0;
        ok = WriteFile(file, document.data() + at, chunk, &written, nullptr) && written == chunk;
        at += chunk;
    }
    ok = CloseHandle(file) && ok;
    if (ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    DeleteFileW(temp.c_str());
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
