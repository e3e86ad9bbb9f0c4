#include "vi/controls/image_cache.h"

CImageCache g_ImageCache;

const CImageStrip* CImageCache::Acquire(uint16_t id, int32_t count) {
    std::lock_guard<std::mutex> lock(m_cs);
    auto it = m_Strips.find(id);
    if (it == m_Strips.end()) {
        if (count < 1)
            return nullptr;
        std::shared_ptr<platform::Image> image = m_pLoader(id);
        if (!image)
            return nullptr;
        const platform::Size whole = image->GetSize();
        if (whole.cx / count < 1 || whole.cy < 1)
            return nullptr;
        CImageStrip strip;
        strip.image = std::move(image);
        strip.count = count;
        strip.size = {whole.cx / count, whole.cy};
        it = m_Strips.emplace(id, std::move(strip)).first;
    }
    ++it->second.refs;
    return &it->second;
}

void CImageCache::Release(uint16_t id) {
    std::lock_guard<std::mutex> lock(m_cs);
    auto it = m_Strips.find(id);
    if (it != m_Strips.end() && --it->second.refs == 0)
        m_Strips.erase(it);
}

uint32_t CImageCache::Users(uint16_t id) const {
    std::lock_guard<std::mutex> lock(m_cs);
    auto it = m_Strips.find(id);
    return it == m_Strips.end() ? 0 : it->second.refs;
}

CImageCache::Loader CImageCache::SetLoader(Loader loader) {
    std::lock_guard<std::mutex> lock(m_cs);
    Loader old = m_pLoader;
    m_pLoader = loader;
    return old;
}

bool CStripRef::Attach(uint32_t bitmap, int32_t count) {
    Detach();
    // Bitmap resource ids are 16-bit; a wider number names no bitmap.
    if (bitmap > 0xFFFF)
        return false;
    m_nId = static_cast<uint16_t>(bitmap);
    m_pStrip = g_ImageCache.Acquire(m_nId, count);
    return m_pStrip != nullptr;
}

void CStripRef::Detach() {
    if (m_pStrip)
        g_ImageCache.Release(m_nId);
    m_pStrip = nullptr;
}

void CStripRef::Draw(platform::Gfx& dc, int32_t index, platform::Point at,
                     platform::Transparency t) const {
    if (!m_pStrip || index < 0 || index >= m_pStrip->count)
        return;
    const platform::Size s = m_pStrip->size;
    dc.DrawImage(*m_pStrip->image, {index * s.cx, 0, (index + 1) * s.cx, s.cy}, at, t);
}
