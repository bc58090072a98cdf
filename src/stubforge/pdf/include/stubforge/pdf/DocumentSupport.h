#pragma once

// What every PDF document generator shares, one header per concern.
#include "stubforge/pdf/DocumentFonts.h"
#include "stubforge/pdf/DocumentPipeline.h"
#include "stubforge/pdf/DocumentRandom.h"
#include "stubforge/pdf/PDFErrors.h"
#include "stubforge/pdf/Pagination.h"
