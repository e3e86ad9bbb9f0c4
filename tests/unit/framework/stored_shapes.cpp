#include "stored_shapes.h"

int CShape::s_nLive = 0;

IMPLEMENT_DYNAMIC(CShape, CObject)
IMPLEMENT_SERIAL(CDot, CShape, 1)
IMPLEMENT_SERIAL(CRing, CDot, 1)
IMPLEMENT_SERIAL(CLabel, CShape, 2)
IMPLEMENT_SERIAL(CGroup, CShape, CRuntimeClass::kVersionable | CGroup::kSchema)
IMPLEMENT_SERIAL(CNote, CObject, 1)

void CDot::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_nX << m_nY;
    } else {
        ar >> m_nX >> m_nY;
    }
}

void CRing::Serialize(CArchive& ar) {
    CDot::Serialize(ar);
    if (ar.IsStoring()) {
        ar << m_dRadius;
    } else {
        ar >> m_dRadius;
    }
}

void CLabel::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_strText << m_wSize;
    } else {
        ar >> m_strText >> m_wSize;
    }
}

CGroup::~CGroup() {
    for (CObject* m : m_members) {
        delete m;
    }
}

CGroup& CGroup::Add(CShape* member) {
    m_members.push_back(member);
    return *this;
}

void CGroup::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_nColour;
        WriteObjectArray(ar, m_members);
        return;
    }
    m_nSchemaRead = ar.GetObjectSchema();
    if (m_nSchemaRead >= 2) {
        ar >> m_nColour;
    } else if (m_nSchemaRead != 1) {
        ThrowArchiveException(CArchiveException::badSchema);
    }
    m_members = ReadObjectArray(ar, RUNTIME_CLASS(CShape));
}

void CNote::Serialize(CArchive& ar) {
    if (ar.IsStoring()) {
        ar << m_nValue;
    } else {
        ar >> m_nValue;
    }
}
