// Marshalling is not used; the generated files only include this header.
#pragma once

#include "unknwn.h"
