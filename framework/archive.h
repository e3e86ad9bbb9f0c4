// The archive of stored objects and settings: little-endian integers, IEEE
// doubles, counted strings, and objects with their class written by name
// the first time and by index afterwards (tags: 0x0000 null, 0xFFFF new
// class with WORD schema, WORD name length and the ASCII name, 0x8000|index
// a known class, a WORD index a known object, 0x7FFF plus a DWORD for
// indices above 0x7FFE; one index counter for classes and objects, from 1).
// Loading refuses anything malformed with CArchiveException and never reads
// past the end of its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "framework/exception.h"
#include "framework/object.h"
#include "framework/wstr.h"

class CArchive {
public:
    enum Mode { store = 0, load = 1 };

    // Storing: appends to out.
    explicit CArchive(std::vector<uint8_t>& out);
    // Loading: reads from data, which must outlive the archive.
    CArchive(const uint8_t* data, size_t size);
    CArchive(const CArchive&) = delete;
    CArchive& operator=(const CArchive&) = delete;
    ~CArchive();

    bool IsLoading() const { return m_nMode == load; }
    bool IsStoring() const { return m_nMode == store; }

    // Raw bytes. Read throws endOfFile when fewer than count bytes are left.
    void Write(const void* data, size_t count);
    void Read(void* data, size_t count);
    // Bytes still to be read.
    size_t Remaining() const { return m_nSize - m_nPos; }

    CArchive& operator<<(uint8_t v);
    CArchive& operator<<(uint16_t v);
    CArchive& operator<<(int16_t v);
    CArchive& operator<<(uint32_t v);
    CArchive& operator<<(int32_t v);
    CArchive& operator<<(uint64_t v);
    CArchive& operator<<(double v);
    CArchive& operator<<(float v);
    CArchive& operator<<(const WString& s);
    CArchive& operator>>(uint8_t& v);
    CArchive& operator>>(uint16_t& v);
    CArchive& operator>>(int16_t& v);
    CArchive& operator>>(uint32_t& v);
    CArchive& operator>>(int32_t& v);
    CArchive& operator>>(uint64_t& v);
    CArchive& operator>>(double& v);
    CArchive& operator>>(float& v);
    CArchive& operator>>(WString& s);

    // Counted strings: UTF-16 behind the marks FF FE FF, the length in
    // characters as a byte below 255, else FF and a WORD below 0xFFFE, else
    // FF, FFFF and a DWORD. Loading also takes the 8-bit form (no marks).
    void WriteString(const WString& s);
    WString ReadString();

    // Element counts of object arrays: a WORD, or 0xFFFF and a DWORD.
    void WriteCount(size_t n);
    size_t ReadCount();

    // Objects (may be null). ReadObject checks that the class is expected
    // (or derived from it) and returns a new object the caller owns, or the
    // object read before when the file refers back to it. On an exception
    // the object being read is deleted (its destructor frees the members
    // it took) and nothing read since can be referred to again. Objects
    // nested more than 256 deep are refused (generic).
    void WriteObject(const CObject* obj);
    CObject* ReadObject(const CRuntimeClass* expected);
    // The same for an owner: a reference back to an object read before is
    // refused (badIndex), so that no object ends up with two owners.
    CObject* ReadOwnedObject(const CRuntimeClass* expected);

    // Schema of the object being loaded (for versionable classes), and the
    // schema a loader can set for the parts it reads (the workspace version).
    uint32_t GetObjectSchema();
    void SetObjectSchema(uint32_t schema) { m_nObjectSchema = schema; }

private:
    void NeedLoad() const;
    void NeedStore() const;
    void WriteIndexTag(uint32_t index);
    CObject* ReadTagged(const CRuntimeClass* expected, bool owned);

    Mode m_nMode;
    std::vector<uint8_t>* m_pOut = nullptr;
    const uint8_t* m_pData = nullptr;
    size_t m_nSize = 0;
    size_t m_nPos = 0;
    uint32_t m_nObjectSchema = 0xFFFFFFFFu;
    uint32_t m_nMapCount = 1; // next index for a class or object
    // Storing: what has an index already.
    std::unordered_map<const void*, uint32_t> m_storeMap;
    // Loading: index -> class (with the schema the file gave it) or object.
    struct Loaded {
        const CRuntimeClass* cls = nullptr;
        CObject* obj = nullptr;
        uint32_t schema = 0;
    };
    std::vector<Loaded> m_loadMap;
    int m_nReadDepth = 0; // objects being read inside one another
};

// Object arrays: the count, then the objects.
void WriteObjectArray(CArchive& ar, const std::vector<CObject*>& items);
// Reads into a new list of objects the caller owns, each at most once (see
// ReadOwnedObject); on an exception nothing made here is left behind.
std::vector<CObject*> ReadObjectArray(CArchive& ar, const CRuntimeClass* expected);
