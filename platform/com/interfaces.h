// What generated interface declarations need before they are included:
// the system's COM headers on Windows, the stand-ins elsewhere.
#pragma once

#ifdef _WIN32
#include <windows.h>
// After windows.h, which it builds on.
#include <ole2.h>
#else
#include <unknwn.h>
#define COM_NO_WINDOWS_H
#endif
