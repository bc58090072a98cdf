#pragma once

// The shared writer steps are public now, for the PDF writers.
#include "stubforge/core/WriterSupport.h"
