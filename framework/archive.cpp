#include "framework/archive.h"

#include <cstring>

namespace {

constexpr uint16_t kNullTag = 0x0000;
constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr uint32_t kMaxMapCount = 0x3FFFFFFEu;
// Longest class name a stored file may carry.
constexpr uint16_t kMaxClassName = 64;
// Deepest nesting of objects in objects: far beyond any real file, well
// within the stack of a Windows thread, so a hostile file cannot exhaust it.
constexpr int kMaxReadDepth = 256;

} // namespace

CArchive::CArchive(std::vector<uint8_t>& out) : m_nMode(store), m_pOut(&out) {}

CArchive::CArchive(const uint8_t* data, size_t size)
    : m_nMode(load), m_pData(data), m_nSize(data ? size : 0) {
    m_loadMap.push_back({}); // index 0 stands for null
}

CArchive::~CArchive() = default;

void CArchive::NeedLoad() const {
    if (m_nMode != load) {
        ThrowArchiveException(CArchiveException::generic);
    }
}

void CArchive::NeedStore() const {
    if (m_nMode != store) {
        ThrowArchiveException(CArchiveException::generic);
    }
}

void CArchive::Write(const void* data, size_t count) {
    NeedStore();
    const auto* p = static_cast<const uint8_t*>(data);
    m_pOut->insert(m_pOut->end(), p, p + count);
}

void CArchive::Read(void* data, size_t count) {
    NeedLoad();
    if (count > Remaining()) {
        ThrowArchiveException(CArchiveException::endOfFile);
    }
    if (count) {
        std::memcpy(data, m_pData + m_nPos, count);
    }
    m_nPos += count;
}

namespace {

template <typename T> void PutLE(CArchive& ar, T v) {
    uint8_t b[sizeof(T)];
    using U = std::make_unsigned_t<T>;
    auto u = static_cast<U>(v);
    for (size_t i = 0; i < sizeof(T); ++i) {
        b[i] = static_cast<uint8_t>(u >> (8 * i));
    }
    ar.Write(b, sizeof b);
}

template <typename T> T GetLE(CArchive& ar) {
    uint8_t b[sizeof(T)];
    ar.Read(b, sizeof b);
    using U = std::make_unsigned_t<T>;
    U u = 0;
    for (size_t i = 0; i < sizeof(T); ++i) {
        u = static_cast<U>(u | (static_cast<U>(b[i]) << (8 * i)));
    }
    return static_cast<T>(u);
}

} // namespace

CArchive& CArchive::operator<<(uint8_t v) {
    return PutLE(*this, v), *this;
}
CArchive& CArchive::operator<<(uint16_t v) {
    return PutLE(*this, v), *this;
}
CArchive& CArchive::operator<<(int16_t v) {
    return PutLE(*this, v), *this;
}
CArchive& CArchive::operator<<(uint32_t v) {
    return PutLE(*this, v), *this;
}
CArchive& CArchive::operator<<(int32_t v) {
    return PutLE(*this, v), *this;
}
CArchive& CArchive::operator<<(uint64_t v) {
    return PutLE(*this, v), *this;
}
CArchive& CArchive::operator<<(double v) {
    uint64_t u;
    std::memcpy(&u, &v, sizeof u);
    return PutLE(*this, u), *this;
}
CArchive& CArchive::operator<<(float v) {
    uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    return PutLE(*this, u), *this;
}
CArchive& CArchive::operator<<(const WString& s) {
    return WriteString(s), *this;
}

CArchive& CArchive::operator>>(uint8_t& v) {
    return v = GetLE<uint8_t>(*this), *this;
}
CArchive& CArchive::operator>>(uint16_t& v) {
    return v = GetLE<uint16_t>(*this), *this;
}
CArchive& CArchive::operator>>(int16_t& v) {
    return v = GetLE<int16_t>(*this), *this;
}
CArchive& CArchive::operator>>(uint32_t& v) {
    return v = GetLE<uint32_t>(*this), *this;
}
CArchive& CArchive::operator>>(int32_t& v) {
    return v = GetLE<int32_t>(*this), *this;
}
CArchive& CArchive::operator>>(uint64_t& v) {
    return v = GetLE<uint64_t>(*this), *this;
}
CArchive& CArchive::operator>>(double& v) {
    uint64_t u = GetLE<uint64_t>(*this);
    std::memcpy(&v, &u, sizeof v);
    return *this;
}
CArchive& CArchive::operator>>(float& v) {
    uint32_t u = GetLE<uint32_t>(*this);
    std::memcpy(&v, &u, sizeof v);
    return *this;
}
CArchive& CArchive::operator>>(WString& s) {
    return s = ReadString(), *this;
}

void CArchive::WriteString(const WString& s) {
    *this << uint8_t{0xFF} << uint16_t{0xFFFE};
    size_t n = s.size();
    if (n < 0xFF) {
        *this << static_cast<uint8_t>(n);
    } else if (n < 0xFFFE) {
        *this << uint8_t{0xFF} << static_cast<uint16_t>(n);
    } else {
        *this << uint8_t{0xFF} << uint16_t{0xFFFF} << static_cast<uint32_t>(n);
    }
    for (char16_t c : s) {
        *this << static_cast<uint16_t>(c);
    }
}

WString CArchive::ReadString() {
    // The length is a byte, or 0xFF and a WORD, or 0xFFFF and a DWORD; the
    // WORD 0xFFFE after a first 0xFF marks the UTF-16 form.
    bool wide = false;
    uint64_t n = GetLE<uint8_t>(*this);
    if (n == 0xFF) {
        n = GetLE<uint16_t>(*this);
        if (n == 0xFFFE) {
            wide = true;
            n = GetLE<uint8_t>(*this);
            if (n == 0xFF) {
                n = GetLE<uint16_t>(*this);
            }
        }
        if (n == 0xFFFF) {
            n = GetLE<uint32_t>(*this);
        }
    }
    uint64_t bytes = wide ? n * 2 : n;
    if (bytes > Remaining()) {
        ThrowArchiveException(CArchiveException::endOfFile);
    }
    WString s;
    s.reserve(static_cast<size_t>(n));
    for (uint64_t i = 0; i < n; ++i) {
        s.push_back(wide ? static_cast<char16_t>(GetLE<uint16_t>(*this))
                         : static_cast<char16_t>(GetLE<uint8_t>(*this)));
    }
    return s;
}

void CArchive::WriteCount(size_t n) {
    if (n < 0xFFFF) {
        *this << static_cast<uint16_t>(n);
    } else {
        *this << uint16_t{0xFFFF} << static_cast<uint32_t>(n);
    }
}

size_t CArchive::ReadCount() {
    uint32_t n = GetLE<uint16_t>(*this);
    if (n == 0xFFFF) {
        n = GetLE<uint32_t>(*this);
    }
    return n;
}

void CArchive::WriteIndexTag(uint32_t index) {
    if (index < kBigObjectTag) {
        *this << static_cast<uint16_t>(index);
    } else {
        *this << kBigObjectTag << index;
    }
}

void CArchive::WriteObject(const CObject* obj) {
    NeedStore();
    if (!obj) {
        *this << kNullTag;
        return;
    }
    if (auto it = m_storeMap.find(obj); it != m_storeMap.end()) {
        WriteIndexTag(it->second);
        return;
    }
    const CRuntimeClass* cls = obj->GetRuntimeClass();
    if (!cls->m_pfnCreateObject || (cls->m_wSchema & 0xFFFF) == CRuntimeClass::kNoSchema) {
        ThrowArchiveException(CArchiveException::badClass);
    }
    if (auto it = m_storeMap.find(cls); it != m_storeMap.end()) {
        uint32_t ci = it->second;
        if (ci < kBigObjectTag) {
            *this << static_cast<uint16_t>(kClassTag | ci);
        } else {
            *this << kBigObjectTag << (kBigClassTag | ci);
        }
    } else {
        auto len = static_cast<uint16_t>(std::strlen(cls->m_lpszClassName));
        *this << kNewClassTag << static_cast<uint16_t>(cls->m_wSchema & 0xFFFF) << len;
        Write(cls->m_lpszClassName, len);
        m_storeMap[cls] = m_nMapCount++;
    }
    m_storeMap[obj] = m_nMapCount++;
    const_cast<CObject*>(obj)->Serialize(*this);
}

CObject* CArchive::ReadObject(const CRuntimeClass* expected) {
    return ReadTagged(expected, false);
}

CObject* CArchive::ReadOwnedObject(const CRuntimeClass* expected) {
    return ReadTagged(expected, true);
}

CObject* CArchive::ReadTagged(const CRuntimeClass* expected, bool owned) {
    NeedLoad();
    if (m_nReadDepth >= kMaxReadDepth) {
        ThrowArchiveException(CArchiveException::generic);
    }
    struct Depth {
        int& n;
        explicit Depth(int& d) : n(++d) {}
        ~Depth() { --n; }
    } depth(m_nReadDepth);
    const size_t mark = m_loadMap.size();
    CObject* obj = nullptr; // made here
    try {
        uint32_t tag = GetLE<uint16_t>(*this);
        bool big = false;
        if (tag == kBigObjectTag) {
            tag = GetLE<uint32_t>(*this);
            big = true;
        }
        const CRuntimeClass* cls = nullptr;
        uint32_t schema = 0;
        bool isClass = big ? (tag & kBigClassTag) != 0 : (tag & kClassTag) != 0;
        if (!big && tag == kNullTag) {
            return nullptr;
        } else if (!big && tag == kNewClassTag) {
            schema = GetLE<uint16_t>(*this);
            uint16_t len = GetLE<uint16_t>(*this);
            if (len == 0 || len > kMaxClassName) {
                ThrowArchiveException(CArchiveException::badClass);
            }
            char name[kMaxClassName + 1] = {};
            Read(name, len);
            if (std::memchr(name, 0, len)) {
                ThrowArchiveException(CArchiveException::badClass);
            }
            cls = CRuntimeClass::FromName(name);
            if (!cls || !cls->m_pfnCreateObject) {
                ThrowArchiveException(CArchiveException::badClass);
            }
            bool versionable = (cls->m_wSchema & CRuntimeClass::kVersionable) != 0;
            if (!versionable && schema != (cls->m_wSchema & 0xFFFF)) {
                ThrowArchiveException(CArchiveException::badSchema);
            }
            if (m_loadMap.size() > kMaxMapCount) {
                ThrowArchiveException(CArchiveException::badIndex);
            }
            m_loadMap.push_back({cls, nullptr, schema});
        } else if (isClass) {
            uint32_t ci = big ? (tag & ~kBigClassTag) : (tag & ~uint32_t{kClassTag});
            if (ci == 0 || ci >= m_loadMap.size() || !m_loadMap[ci].cls) {
                ThrowArchiveException(CArchiveException::badIndex);
            }
            cls = m_loadMap[ci].cls;
            // The schema the file gave this class, which for a versionable
            // class may be older than the current one.
            schema = m_loadMap[ci].schema;
        } else {
            // A reference to an object read before: never one to own, as
            // its first reader owns it already.
            if (owned || tag == 0 || tag >= m_loadMap.size() || !m_loadMap[tag].obj) {
                ThrowArchiveException(CArchiveException::badIndex);
            }
            CObject* result = m_loadMap[tag].obj;
            if (expected && !result->IsKindOf(expected)) {
                ThrowArchiveException(CArchiveException::badClass);
            }
            return result;
        }
        if (expected && !cls->IsDerivedFrom(expected)) {
            ThrowArchiveException(CArchiveException::badClass);
        }
        obj = cls->CreateObject();
        m_loadMap.push_back({nullptr, obj, 0});
        m_nObjectSchema = schema;
        obj->Serialize(*this);
        m_nObjectSchema = 0xFFFFFFFFu;
        return obj;
    } catch (...) {
        // The object made here goes, and with it what it took as its own;
        // nothing read from here on may be referred to again.
        for (size_t i = mark; i < m_loadMap.size(); ++i) {
            m_loadMap[i].obj = nullptr;
        }
        delete obj;
        m_nObjectSchema = 0xFFFFFFFFu;
        throw;
    }
}

uint32_t CArchive::GetObjectSchema() {
    uint32_t s = m_nObjectSchema;
    m_nObjectSchema = 0xFFFFFFFFu; // one answer per object, as the framework gives it
    return s;
}

void WriteObjectArray(CArchive& ar, const std::vector<CObject*>& items) {
    ar.WriteCount(items.size());
    for (CObject* o : items) {
        ar.WriteObject(o);
    }
}

std::vector<CObject*> ReadObjectArray(CArchive& ar, const CRuntimeClass* expected) {
    size_t n = ar.ReadCount();
    // Every element takes at least its two-byte tag.
    if (n > ar.Remaining() / 2) {
        ThrowArchiveException(CArchiveException::endOfFile);
    }
    std::vector<CObject*> items;
    items.reserve(n);
    try {
        for (size_t i = 0; i < n; ++i) {
            items.push_back(ar.ReadOwnedObject(expected));
        }
    } catch (...) {
        for (CObject* o : items) {
            delete o;
        }
        throw;
    }
    return items;
}
