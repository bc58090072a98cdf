#pragma once

#include "platform/Error.h"

#include <string>
#include <string_view>

namespace stubforge {

// The PDF writers' error cases, carried as the code of a platform::Error
// whose domain is "PDFGeneratorError". The writers also use the domain, with
// an errno code, for requests they refuse (a page count out of range, a size
// that is no size).
enum class PDFGeneratorError { unableToCreatePDFContext };
inline constexpr std::string_view kPDFGeneratorErrorDomain = "PDFGeneratorError";

// The error for `reason`; `detail` is the cause, when known.
platform::Error makePDFGeneratorError(PDFGeneratorError reason, const std::string& detail = {});

}  // namespace stubforge
