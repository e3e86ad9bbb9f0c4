// The base object of the framework with its run-time class, so that stored
// objects can be written with their class name and made again on loading.
#pragma once

#include <cstdint>

class CArchive;
class CObject;

struct CRuntimeClass {
    const char* m_lpszClassName;
    uint32_t m_wSchema; // kNoSchema when the class cannot be stored
    CObject* (*m_pfnCreateObject)();
    const CRuntimeClass* m_pBaseClass;

    // High bit of the schema: the class reads older schemas itself
    // (it asks the archive with GetObjectSchema).
    static constexpr uint32_t kVersionable = 0x80000000u;
    static constexpr uint32_t kNoSchema = 0xFFFFu;

    CObject* CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }
    bool IsDerivedFrom(const CRuntimeClass* base) const;
    // The storable class of that name, or null.
    static const CRuntimeClass* FromName(const char* name);
    // Makes a class known to FromName (done by IMPLEMENT_SERIAL).
    static void Register(const CRuntimeClass* cls);
};

class CObject {
public:
    virtual ~CObject() = default;
    virtual const CRuntimeClass* GetRuntimeClass() const;
    virtual void Serialize(CArchive& ar);
    bool IsKindOf(const CRuntimeClass* cls) const;

    static const CRuntimeClass classCObject;
};

#define RUNTIME_CLASS(name) (&name::class##name)

#define DECLARE_DYNAMIC(name)                                                                      \
public:                                                                                            \
    static const CRuntimeClass class##name;                                                        \
    const CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_SERIAL(name)                                                                       \
    DECLARE_DYNAMIC(name)                                                                          \
    static CObject* CreateObject();

#define IMPLEMENT_DYNAMIC(name, base)                                                              \
    const CRuntimeClass name::class##name = {#name, CRuntimeClass::kNoSchema, nullptr,             \
                                             RUNTIME_CLASS(base)};                                 \
    const CRuntimeClass* name::GetRuntimeClass() const {                                           \
        return RUNTIME_CLASS(name);                                                                \
    }

#define IMPLEMENT_SERIAL(name, base, schema)                                                       \
    CObject* name::CreateObject() {                                                                \
        return new name;                                                                           \
    }                                                                                              \
    const CRuntimeClass name::class##name = {#name, schema, name::CreateObject,                    \
                                             RUNTIME_CLASS(base)};                                 \
    const CRuntimeClass* name::GetRuntimeClass() const {                                           \
        return RUNTIME_CLASS(name);                                                                \
    }                                                                                              \
    static const bool s_bRegistered##name = (CRuntimeClass::Register(RUNTIME_CLASS(name)), true);
