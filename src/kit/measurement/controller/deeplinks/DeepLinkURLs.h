#pragma once

#include <optional>
#include <string>
#include <string_view>

// Links as the deep links read them, through the platform's URL parser.
namespace kit::measurement::deeplinks {

// An absolute URL, whatever its scheme.
bool isURL(std::string_view text);
// The query of a URL, without "?"; nothing when it is not a URL or has none.
std::optional<std::string> queryOfURL(std::string_view url);
// "scheme://host[:port]" + path + "?" + query for a service host, which may
// carry its own scheme (tests' "http://127.0.0.1:port"), else https. Nothing
// for an empty host or a result that is not a URL.
std::optional<std::string> serviceURL(std::string_view host, std::string_view path, std::string_view query);
// The host name of a service host, without scheme and port.
std::string hostOf(std::string_view host);

}  // namespace kit::measurement::deeplinks
