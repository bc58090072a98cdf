#pragma once

// The controller's tables reach the measurement lines' base through here.
#include "kit/measurement/support/LogLines.h"
