// GDI drawing: every context draws through an HDC; buffers, pictures and
// images are 32-bit top-down DIB sections, so their pixels can be read.
#include <wincodec.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "platform/gfx/gfx_win32.h"
#include "platform/resource/resource.h"

namespace platform {

namespace {

// A DIB pixel is 0xXXRRGGBB in memory order B, G, R; colours are 0x00BBGGRR.
Color FromDib(uint32_t v) {
    return (v & 0xFF) << 16 | (v & 0xFF00) | (v >> 16 & 0xFF);
}
uint32_t ToDib(Color c) {
    return (c & 0xFF) << 16 | (c & 0xFF00) | (c >> 16 & 0xFF);
}

// Larger pictures than this are refused rather than half made.
constexpr int64_t kMaxPixels = int64_t(1) << 26;

} // namespace

// A 32-bit top-down DIB section selected into a memory DC of its own.
class Dib {
public:
    static std::unique_ptr<Dib> Create(int32_t width, int32_t height) {
        if (width <= 0 || height <= 0 || int64_t(width) * height > kMaxPixels) {
            return nullptr;
        }
        BITMAPINFO bi{};
        bi.bmiHeader.biSize = sizeof bi.bmiHeader;
        bi.bmiHeader.biWidth = width;
        bi.bmiHeader.biHeight = -height; // top-down
        bi.bmiHeader.biPlanes = 1;
        bi.bmiHeader.biBitCount = 32;
        bi.bmiHeader.biCompression = BI_RGB;
        auto dib = std::unique_ptr<Dib>(new Dib(width, height));
        void* bits = nullptr;
        dib->m_bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
        dib->m_dc = CreateCompatibleDC(nullptr);
        if (!dib->m_bmp || !dib->m_dc || !bits) {
            return nullptr;
        }
        dib->m_bits = static_cast<uint32_t*>(bits);
        dib->m_old = SelectObject(dib->m_dc, dib->m_bmp);
        return dib;
    }
    ~Dib() {
        if (m_dc && m_old) {
            SelectObject(m_dc, m_old);
        }
        if (m_dc) {
            DeleteDC(m_dc);
        }
        if (m_bmp) {
            DeleteObject(m_bmp);
        }
    }
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    HDC Dc() const { return m_dc; }
    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    // GDI batches drawing; the bits are current only after a flush.
    const uint32_t* Bits() const {
        GdiFlush();
        return m_bits;
    }

private:
    Dib(int32_t w, int32_t h) : m_width(w), m_height(h) {}
    int32_t m_width;
    int32_t m_height;
    HBITMAP m_bmp = nullptr;
    HDC m_dc = nullptr;
    HGDIOBJ m_old = nullptr;
    uint32_t* m_bits = nullptr;
};

namespace {

class GdiImage : public Image {
public:
    explicit GdiImage(std::unique_ptr<Dib> dib) : m_dib(std::move(dib)) {}
    Size GetSize() const override { return {m_dib->Width(), m_dib->Height()}; }
    Color Pixel(int32_t x, int32_t y) const override {
        if (x < 0 || y < 0 || x >= m_dib->Width() || y >= m_dib->Height()) {
            return 0;
        }
        return FromDib(m_dib->Bits()[size_t(y) * size_t(m_dib->Width()) + size_t(x)]);
    }
    HDC Dc() const { return m_dib->Dc(); }
    // Its DC holds the bitmap; two threads must not blit from it at once.
    std::mutex& Lock() const { return m_lock; }

private:
    std::unique_ptr<Dib> m_dib;
    mutable std::mutex m_lock;
};

// Copies a loaded bitmap of any depth into a DIB we can read.
std::shared_ptr<Image> FromBitmap(HBITMAP bitmap) {
    if (!bitmap) {
        return nullptr;
    }
    BITMAP info{};
    std::shared_ptr<Image> image;
    if (GetObjectW(bitmap, sizeof info, &info) == sizeof info) {
        if (auto dib = Dib::Create(info.bmWidth, info.bmHeight)) {
            HDC src = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(src, bitmap);
            BitBlt(dib->Dc(), 0, 0, info.bmWidth, info.bmHeight, src, 0, 0, SRCCOPY);
            SelectObject(src, old);
            DeleteDC(src);
            image = std::make_shared<GdiImage>(std::move(dib));
        }
    }
    DeleteObject(bitmap);
    return image;
}

// An image of another kind, copied pixel by pixel so that GDI can blit it.
std::unique_ptr<GdiImage> CopyImage(const Image& image) {
    Size s = image.GetSize();
    auto dib = Dib::Create(s.cx, s.cy);
    if (!dib) {
        return nullptr;
    }
    auto* bits = const_cast<uint32_t*>(dib->Bits());
    for (int32_t y = 0; y < s.cy; ++y) {
        for (int32_t x = 0; x < s.cx; ++x) {
            bits[size_t(y) * size_t(s.cx) + size_t(x)] = ToDib(image.Pixel(x, y));
        }
    }
    return std::make_unique<GdiImage>(std::move(dib));
}

LOGFONTW ToLogFont(const FontSpec& f) {
    // The panel's font record has the fields of LOGFONT in its order.
    LOGFONTW lf{
        f.height,         f.width,     f.escapement, f.orientation,  f.weight,        f.italic,
        f.underline,      f.strikeOut, f.charSet,    f.outPrecision, f.clipPrecision, f.quality,
        f.pitchAndFamily, {}};
    size_t n = std::min(f.face.size(), size_t(LF_FACESIZE - 1));
    std::copy_n(f.face.begin(), n, lf.lfFaceName);
    return lf;
}

// Selects a GDI object for one drawing call, then puts the old one back and
// deletes it.
class Selected {
public:
    Selected(HDC dc, HGDIOBJ obj) : m_dc(dc), m_obj(obj), m_old(SelectObject(dc, obj)) {}
    ~Selected() {
        SelectObject(m_dc, m_old);
        DeleteObject(m_obj);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

private:
    HDC m_dc;
    HGDIOBJ m_obj;
    HGDIOBJ m_old;
};

LPCWSTR Wide(const std::u16string& s) {
    return reinterpret_cast<LPCWSTR>(s.c_str());
}

} // namespace

DcGfx::DcGfx(HDC dc, const Rect& clip, Release release)
    : m_dc(dc), m_clip(clip), m_release(std::move(release)) {}

DcGfx::DcGfx(std::unique_ptr<Dib> dib, const Rect& area)
    : m_dc(dib->Dc()), m_clip(area), m_dib(std::move(dib)) {
    // The buffer's own pixels start at the area's top-left corner.
    SetViewportOrgEx(m_dc, -area.left, -area.top, nullptr);
}

DcGfx::~DcGfx() {
    if (m_font) {
        SelectObject(m_dc, m_oldFont);
        DeleteObject(m_font);
    }
    m_dib.reset();
    if (m_release) {
        m_release(m_dc);
    }
}

Rect DcGfx::ClipBox() const {
    return m_clip;
}

void DcGfx::FillRect(const Rect& r, Color c) {
    if (r.IsEmpty()) {
        return;
    }
    RECT rc{r.left, r.top, r.right, r.bottom};
    HBRUSH brush = CreateSolidBrush(c);
    ::FillRect(m_dc, &rc, brush);
    DeleteObject(brush);
}

void DcGfx::FrameRect(const Rect& r, Color c, int32_t width) {
    if (width <= 0 || r.IsEmpty()) {
        return;
    }
    if (2 * width >= r.Width() || 2 * width >= r.Height()) {
        FillRect(r, c);
        return;
    }
    FillRect({r.left, r.top, r.right, r.top + width}, c);
    FillRect({r.left, r.bottom - width, r.right, r.bottom}, c);
    FillRect({r.left, r.top + width, r.left + width, r.bottom - width}, c);
    FillRect({r.right - width, r.top + width, r.right, r.bottom - width}, c);
}

void DcGfx::Line(Point from, Point to, Color c, int32_t width) {
    Selected pen(m_dc, CreatePen(PS_SOLID, std::max(width, int32_t(1)), c));
    MoveToEx(m_dc, from.x, from.y, nullptr);
    LineTo(m_dc, to.x, to.y);
}

void DcGfx::Polygon(const Point* points, size_t count, Color fill) {
    if (!points || count == 0 || count > size_t(INT_MAX)) {
        return;
    }
    std::vector<POINT> pts(count);
    for (size_t i = 0; i < count; ++i) {
        pts[i] = {points[i].x, points[i].y};
    }
    Selected pen(m_dc, CreatePen(PS_SOLID, 1, fill));
    Selected brush(m_dc, CreateSolidBrush(fill));
    ::Polygon(m_dc, pts.data(), static_cast<int>(count));
}

void DcGfx::Ellipse(const Rect& r, Color fill) {
    Selected pen(m_dc, CreatePen(PS_SOLID, 1, fill));
    Selected brush(m_dc, CreateSolidBrush(fill));
    ::Ellipse(m_dc, r.left, r.top, r.right, r.bottom);
}

void DcGfx::DrawImage(const Image& image, const Rect& src, Point dst, Transparency t) {
    Size s = image.GetSize();
    // Only the part of src inside the image is copied, to the same place.
    Rect part{std::max(src.left, 0), std::max(src.top, 0), std::min(src.right, s.cx),
              std::min(src.bottom, s.cy)};
    if (part.IsEmpty()) {
        return;
    }
    dst.x += part.left - src.left;
    dst.y += part.top - src.top;
    const auto* gdi = dynamic_cast<const GdiImage*>(&image);
    std::unique_ptr<GdiImage> copy;
    if (!gdi) {
        copy = CopyImage(image);
        if (!copy) {
            return;
        }
        gdi = copy.get();
    }
    std::lock_guard<std::mutex> lock(gdi->Lock());
    int w = part.Width();
    int h = part.Height();
    if (t == Transparency::None) {
        BitBlt(m_dc, dst.x, dst.y, w, h, gdi->Dc(), part.left, part.top, SRCCOPY);
        return;
    }
    Color key = t == Transparency::Magenta ? kMagenta : image.Pixel(0, 0);
    TransparentBlt(m_dc, dst.x, dst.y, w, h, gdi->Dc(), part.left, part.top, w, h, key);
}

void DcGfx::UseFont(const FontSpec& font) {
    // Zero-filled records of the same font compare equal byte for byte.
    LOGFONTW lf = ToLogFont(font);
    if (m_font && std::memcmp(&lf, &m_logFont, sizeof lf) == 0) {
        return;
    }
    HFONT made = CreateFontIndirectW(&lf);
    if (!made) {
        return;
    }
    HGDIOBJ old = SelectObject(m_dc, made);
    if (m_font) {
        DeleteObject(m_font);
    } else {
        m_oldFont = old;
    }
    m_font = made;
    m_logFont = lf;
}

Size DcGfx::TextExtent(const std::u16string& text, const FontSpec& font) {
    UseFont(font);
    SIZE size{};
    if (text.size() > size_t(INT_MAX) ||
        !GetTextExtentPoint32W(m_dc, Wide(text), static_cast<int>(text.size()), &size)) {
        return {};
    }
    return {size.cx, size.cy};
}

void DcGfx::Text(Point p, const std::u16string& text, const FontSpec& font, Color c) {
    if (text.empty() || text.size() > size_t(INT_MAX)) {
        return;
    }
    UseFont(font);
    SetBkMode(m_dc, TRANSPARENT);
    SetTextColor(m_dc, c);
    SetTextAlign(m_dc, TA_LEFT | TA_TOP | TA_NOUPDATECP);
    TextOutW(m_dc, p.x, p.y, Wide(text), static_cast<int>(text.size()));
}

std::unique_ptr<Gfx> DcGfx::CreateBuffer(const Rect& area) {
    auto dib = Dib::Create(area.Width(), area.Height());
    if (!dib) {
        // An empty area still gets a context; what is drawn into it is lost.
        dib = Dib::Create(1, 1);
        if (!dib) {
            return nullptr;
        }
        return std::make_unique<DcGfx>(std::move(dib),
                                       Rect{area.left, area.top, area.left + 1, area.top + 1});
    }
    return std::make_unique<DcGfx>(std::move(dib), area);
}

void DcGfx::CopyBuffer(Gfx& buffer) {
    auto* b = dynamic_cast<DcGfx*>(&buffer);
    if (!b || !b->m_dib || b == this) {
        return;
    }
    const Rect& a = b->m_clip;
    GdiFlush();
    BitBlt(m_dc, a.left, a.top, a.Width(), a.Height(), b->m_dc, a.left, a.top, SRCCOPY);
}

Pixels DcGfx::Read() const {
    Pixels p;
    if (!m_dib) {
        return p;
    }
    p.width = m_dib->Width();
    p.height = m_dib->Height();
    const uint32_t* bits = m_dib->Bits();
    p.data.resize(size_t(p.width) * size_t(p.height));
    std::transform(bits, bits + p.data.size(), p.data.begin(), FromDib);
    return p;
}

std::unique_ptr<PictureGfx> CreatePicture(int32_t width, int32_t height) {
    auto dib = Dib::Create(width, height);
    if (!dib) {
        return nullptr;
    }
    return std::make_unique<DcGfx>(std::move(dib), Rect{0, 0, width, height});
}

std::shared_ptr<Image> LoadBitmapResource(uint16_t id) {
    auto module = static_cast<HMODULE>(NativeResourceModule());
    if (!module) {
        return nullptr;
    }
    return FromBitmap(static_cast<HBITMAP>(
        LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
}

std::shared_ptr<Image> LoadImageFile(const std::u16string& path) {
    if (path.empty() || path.find(u'\0') != std::u16string::npos) {
        return nullptr;
    }
    return FromBitmap(static_cast<HBITMAP>(LoadImageW(nullptr, Wide(path), IMAGE_BITMAP, 0, 0,
                                                      LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
}

namespace {

// COM for the imaging component on this thread, for as long as it is needed;
// a thread that already runs COM in another mode keeps it.
class ComScope {
public:
    ComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComScope() {
        if (SUCCEEDED(m_hr)) {
            CoUninitialize();
        }
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    HRESULT m_hr;
};

template <class T> class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() {
        if (m_p) {
            m_p->Release();
        }
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    T** Out() { return &m_p; }
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }

private:
    T* m_p = nullptr;
};

bool EncodePng(const Pixels& pixels, const std::wstring& path) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out()))) ||
        FAILED(factory->CreateStream(stream.Out())) ||
        FAILED(stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE)) ||
        FAILED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.Out())) ||
        FAILED(encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache)) ||
        FAILED(encoder->CreateNewFrame(frame.Out(), nullptr)) ||
        FAILED(frame->Initialize(nullptr)) ||
        FAILED(frame->SetSize(UINT(pixels.width), UINT(pixels.height)))) {
        return false;
    }
    // The encoder answers with the format it will take; only ours will do.
    WICPixelFormatGUID format = GUID_WICPixelFormat24bppBGR;
    if (FAILED(frame->SetPixelFormat(&format)) ||
        !IsEqualGUID(format, GUID_WICPixelFormat24bppBGR)) {
        return false;
    }
    const UINT stride = (UINT(pixels.width) * 3 + 3) & ~3u;
    std::vector<BYTE> rows(size_t(stride) * size_t(pixels.height));
    for (int32_t y = 0; y < pixels.height; ++y) {
        BYTE* row = rows.data() + size_t(y) * stride;
        for (int32_t x = 0; x < pixels.width; ++x) {
            Color c = pixels.At(x, y);
            row[3 * x] = BYTE(c >> 16);    // blue
            row[3 * x + 1] = BYTE(c >> 8); // green
            row[3 * x + 2] = BYTE(c);      // red
        }
    }
    return SUCCEEDED(
               frame->WritePixels(UINT(pixels.height), stride, UINT(rows.size()), rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

} // namespace

bool WritePng(const Pixels& pixels, const std::u16string& path) {
    if (pixels.width <= 0 || pixels.height <= 0 ||
        int64_t(pixels.width) * pixels.height > kMaxPixels ||
        pixels.data.size() != size_t(pixels.width) * size_t(pixels.height) || path.empty() ||
        path.find(u'\0') != std::u16string::npos) {
        return false;
    }
    // Written beside the target first, so a failure leaves no half file.
    std::wstring target(path.begin(), path.end());
    std::wstring temp = target + L".part";
    bool ok;
    {
        ComScope com;
        ok = EncodePng(pixels, temp);
    }
    if (ok && MoveFileExW(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        return true;
    }
    DeleteFileW(temp.c_str());
    return false;
}

} // namespace platform
