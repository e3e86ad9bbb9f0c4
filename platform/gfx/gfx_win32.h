// The GDI device context behind every Gfx on Windows, for the window backend
// (paint and client contexts) beside the buffers and pictures it makes.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>

#include "platform/gfx/gfx.h"

namespace platform {

class Dib;

class DcGfx final : public PictureGfx {
public:
    using Release = std::function<void(HDC)>;
    // A context on dc, drawing limited to clip; release gives the DC back.
    DcGfx(HDC dc, const Rect& clip, Release release = {});
    // A context drawing into dib, which covers area.
    DcGfx(std::unique_ptr<Dib> dib, const Rect& area);
    ~DcGfx() override;
    DcGfx(const DcGfx&) = delete;
    DcGfx& operator=(const DcGfx&) = delete;

    Rect ClipBox() const override;
    void FillRect(const Rect& r, Color c) override;
    void FrameRect(const Rect& r, Color c, int32_t width) override;
    void Line(Point from, Point to, Color c, int32_t width) override;
    void Polygon(const Point* points, size_t count, Color fill) override;
    void Ellipse(const Rect& r, Color fill) override;
    void DrawImage(const Image& image, const Rect& src, Point dst, Transparency t) override;
    Size TextExtent(const std::u16string& text, const FontSpec& font) override;
    void Text(Point p, const std::u16string& text, const FontSpec& font, Color c) override;
    std::unique_ptr<Gfx> CreateBuffer(const Rect& area) override;
    void CopyBuffer(Gfx& buffer) override;
    // The pixels of a buffer or picture; nothing for a window's context.
    Pixels Read() const override;

private:
    void UseFont(const FontSpec& font);

    HDC m_dc;
    Rect m_clip;
    Release m_release;
    std::unique_ptr<Dib> m_dib;
    HFONT m_font = nullptr;
    HGDIOBJ m_oldFont = nullptr;
    LOGFONTW m_logFont{};
};

} // namespace platform
