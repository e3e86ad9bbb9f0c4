// The identifiers of the interfaces, the library and the class, defined once.
#include "server/koblabview.h"

#include "KobLabVIEW_i.c"
