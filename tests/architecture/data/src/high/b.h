#pragma once

#include "low/a.h"
  #  include "gone/x.h"
