// Image strips shared between the controls: a bitmap resource cut into
// equal images side by side, magenta transparent, loaded once per id and
// kept while any control uses it.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "platform/gfx/gfx.h"

struct CImageStrip {
    std::shared_ptr<platform::Image> image;
    int32_t count = 0;
    platform::Size size; // of one image
    uint32_t refs = 0;
};

class CImageCache {
public:
    using Loader = std::shared_ptr<platform::Image> (*)(uint16_t id);

    // The strip of bitmap id cut into count images, one more user counted;
    // null (nothing counted) when the bitmap cannot be loaded. A cached id
    // keeps the cut it was loaded with.
    const CImageStrip* Acquire(uint16_t id, int32_t count);
    // One user less; the strip goes at the last one.
    void Release(uint16_t id);
    // Users of id (0 when it is not cached).
    uint32_t Users(uint16_t id) const;

    // Where bitmaps come from (the resource module unless replaced); returns
    // the previous loader.
    Loader SetLoader(Loader loader);

private:
    mutable std::mutex m_cs;
    std::map<uint16_t, CImageStrip> m_Strips;
    Loader m_pLoader = platform::LoadBitmapResource;
};

extern CImageCache g_ImageCache;

// A control's hold on one strip: released when it switches to another
// bitmap and when the control goes.
class CStripRef {
public:
    CStripRef() = default;
    CStripRef(uint32_t bitmap, int32_t count) { Attach(bitmap, count); }
    ~CStripRef() { Detach(); }
    CStripRef(const CStripRef&) = delete;
    CStripRef& operator=(const CStripRef&) = delete;

    // Holds bitmap (cut into count images) instead of the current one; false
    // when it cannot be loaded (then nothing is held).
    bool Attach(uint32_t bitmap, int32_t count);
    void Detach();

    bool IsLoaded() const { return m_pStrip != nullptr; }
    platform::Size ImageSize() const { return m_pStrip ? m_pStrip->size : platform::Size{}; }
    int32_t Count() const { return m_pStrip ? m_pStrip->count : 0; }
    const platform::Image* Image() const { return m_pStrip ? m_pStrip->image.get() : nullptr; }
    // Draws image index (nothing for an index the strip does not have).
    void Draw(platform::Gfx& dc, int32_t index, platform::Point at,
              platform::Transparency t = platform::Transparency::Magenta) const;

private:
    uint16_t m_nId = 0;
    const CImageStrip* m_pStrip = nullptr;
};
