#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// URL query strings as the engine builds and reads them (configuration
// requests, deep links, campaign URLs).
namespace kit::measurement {

using MSRQueryDictionary = std::map<std::string, std::string>;

// Every byte outside the unreserved set (letters, digits, "-", ".", "_",
// "~") as "%XX" with upper-case digits. "&", "=", "+" and "%" are always
// encoded, so no key or value can split or alter a pair.
std::string msr_percentEncodedQueryComponent(std::string_view text);

// "key=value" pairs, each side encoded, joined with "&" in the given order;
// an empty dictionary gives "".
std::string msr_queryString(const MSRQueryDictionary& dictionary);
std::string msr_queryString(const std::vector<std::pair<std::string, std::string>>& pairs);

// "+" becomes a space, then "%XX" sequences are decoded. None when a "%" is
// not followed by two hexadecimal digits or the result is not valid UTF-8.
std::optional<std::string> msr_stringByUnescapingFromURLArgument(std::string_view argument);

// Pieces split on "&"; an empty piece is skipped; a piece without "=" is a
// key with the value ""; otherwise the key ends at the first "=". A side
// whose unescaping fails becomes "". For a repeated key the first
// occurrence wins. The inverse of msr_queryString.
MSRQueryDictionary msr_dictionaryWithHttpArgumentsString(std::string_view arguments);

}  // namespace kit::measurement
