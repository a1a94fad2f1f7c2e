#pragma once

#include "low/c.h"
#include "high/b.h"
#include <vector>
