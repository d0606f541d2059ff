#pragma once
// SHA-1, as older driver catalogs name files (base/digest.h says how it is taken).

#include "base/digest.h"
