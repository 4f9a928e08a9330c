#pragma once
// Ordered paths, appended at the back and consumed from the front.
#include <list>

#include "support/WideString.h"

using PathList = std::list<WideString>;
