// Small stored classes for the archive tests and the archive fuzzer: a
// point, a point with a radius (derived), a label with a counted string, a
// versionable group that owns its members, and a note that is no shape.
// Every shape counts itself, so that a test can tell that a failed load
// left nothing behind and a good one made exactly what the file holds.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/archive.h"
#include "framework/object.h"
#include "framework/wstr.h"

class CShape : public CObject {
    DECLARE_DYNAMIC(CShape)
public:
    CShape() { ++s_nLive; }
    ~CShape() override { --s_nLive; }
    CShape(const CShape&) = delete;
    CShape& operator=(const CShape&) = delete;

    // Shapes alive right now.
    static int Live() { return s_nLive; }

private:
    static int s_nLive;
};

class CDot : public CShape {
    DECLARE_SERIAL(CDot)
public:
    CDot() = default;
    CDot(int32_t x, int32_t y) : m_nX(x), m_nY(y) {}
    void Serialize(CArchive& ar) override;
    int32_t m_nX = 0;
    int32_t m_nY = 0;
};

class CRing : public CDot {
    DECLARE_SERIAL(CRing)
public:
    CRing() = default;
    CRing(int32_t x, int32_t y, double r) : CDot(x, y), m_dRadius(r) {}
    void Serialize(CArchive& ar) override;
    double m_dRadius = 0;
};

class CLabel : public CShape {
    DECLARE_SERIAL(CLabel)
public:
    CLabel() = default;
    explicit CLabel(WString text, uint16_t size = 10) : m_strText(std::move(text)), m_wSize(size) {}
    void Serialize(CArchive& ar) override;
    WString m_strText;
    uint16_t m_wSize = 10;
};

// Schema 2 stores a colour before the members; schema 1 files have none.
class CGroup : public CShape {
    DECLARE_SERIAL(CGroup)
public:
    static constexpr uint32_t kSchema = 2;
    CGroup() = default;
    ~CGroup() override;
    void Serialize(CArchive& ar) override;
    // Takes ownership.
    CGroup& Add(CShape* member);

    uint32_t m_nColour = 0;
    std::vector<CObject*> m_members; // owned; null entries allowed
    uint32_t m_nSchemaRead = 0;      // what the archive said on loading
};

// Storable, but not a shape.
class CNote : public CObject {
    DECLARE_SERIAL(CNote)
public:
    void Serialize(CArchive& ar) override;
    uint32_t m_nValue = 0;
};
