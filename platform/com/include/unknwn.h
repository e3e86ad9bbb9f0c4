// What the generated interface declarations expect of the system headers,
// on systems without them: IUnknown and the declaration macros, with the
// vtable layout of the Windows compilers (no destructor slot, this first).
#pragma once

#include "platform/com/oleauto.h"

#define interface struct
#define MIDL_INTERFACE(id) struct
#define DECLSPEC_UUID(id)
#define DECLSPEC_SELECTANY
#define STDMETHODCALLTYPE
#define BEGIN_INTERFACE
#define END_INTERFACE
#define CONST_VTBL
#define FORCEINLINE inline
#define __RPC_USER
#ifdef __cplusplus
#define EXTERN_C extern "C"
#else
#define EXTERN_C extern
#endif
#define STDAPI EXTERN_C HRESULT
// Declares an identifier; defines it where INITGUID is set.
#ifdef INITGUID
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8)                               \
    EXTERN_C const GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#else
#define DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) EXTERN_C const GUID name
#endif
