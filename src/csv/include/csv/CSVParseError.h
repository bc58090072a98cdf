#pragma once

#include "platform/ErrorCodes.h"

#include <stdexcept>
#include <string>
#include <string_view>

// The CSV reader's errors: the parser's and the serialiser's own types, and
// the codes of the platform::Error it throws for files and text it cannot
// read.
namespace csv {

// Domain "CSV". The OS or ICU reason travels as the underlying error.
enum class CSVFileError {
    couldNotOpen = 1,          // the file could not be opened
    couldNotRead = 2,          // reading it failed, or it is a folder
    notRegularFile = 3,        // a device, pipe or socket, which may never end
    notInEncoding = 4,         // its bytes are not text in the given encoding
    unknownEncoding = 5,       // ICU knows no encoding of that name
    textProcessingFailed = 6,  // ICU failed on the text
};
constexpr std::string_view errorDomain(CSVFileError) { return "CSV"; }

// The domain of an underlying ICU failure; the code is ICU's UErrorCode.
inline constexpr std::string_view kICUErrorDomain = platform::kICUErrorDomain;

// What the row parser throws. The parser itself raises only `quotation`;
// `generic` covers text that is not UTF-8.
class CSVParseError : public std::runtime_error {
public:
    enum class Kind { generic, quotation };

    static CSVParseError generic(const std::string& message) { return {Kind::generic, message}; }
    static CSVParseError quotation(const std::string& message) { return {Kind::quotation, message}; }

    Kind kind() const noexcept { return kind_; }
    std::string message() const { return what(); }

private:
    CSVParseError(Kind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}

    Kind kind_;
};

// What the serialiser throws instead of writing text that would read back
// as a different document.
class CSVSerializationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace csv
