// OLE Automation declarations for the generated interface header.
#pragma once

#include "unknwn.h"
