#pragma once

#include <stdexcept>
#include <string>

namespace csv {

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
