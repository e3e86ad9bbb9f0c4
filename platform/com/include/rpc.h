// Nothing of the RPC run time is used; the generated files only include it.
#pragma once

#include "unknwn.h"
