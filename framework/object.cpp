#include "framework/object.h"

#include <cstring>
#include <mutex>
#include <vector>

namespace {

// Function-local, so classes may register from any static initialiser; a
// static object rather than a heap one, so that a module unloaded with
// dlclose leaves nothing behind.
struct Registry {
    std::mutex mutex;
    std::vector<const CRuntimeClass*> classes;
};

Registry& TheRegistry() {
    static Registry r;
    return r;
}

} // namespace

const CRuntimeClass CObject::classCObject = {"CObject", CRuntimeClass::kNoSchema, nullptr, nullptr};

const CRuntimeClass* CObject::GetRuntimeClass() const {
    return &classCObject;
}

void CObject::Serialize(CArchive&) {}

bool CObject::IsKindOf(const CRuntimeClass* cls) const {
    return GetRuntimeClass()->IsDerivedFrom(cls);
}

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
    for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass) {
        if (c == base) {
            return true;
        }
    }
    return false;
}

const CRuntimeClass* CRuntimeClass::FromName(const char* name) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    for (const CRuntimeClass* c : r.classes) {
        if (std::strcmp(c->m_lpszClassName, name) == 0) {
            return c;
        }
    }
    return nullptr;
}

void CRuntimeClass::Register(const CRuntimeClass* cls) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.classes.push_back(cls);
}
