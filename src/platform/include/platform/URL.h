#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

// The parts of an absolute URL that callers ask about, as the network
// client reads them.
struct URLParts {
    std::string scheme;                // lower case
    std::string host;                  // as written; empty for a URL without one ("file:///x")
    std::optional<std::string> query;  // after '?', none when there is no '?'
};

// Parses an absolute URL; none for text that is not one (relative, holds
// spaces or a NUL, a bad port, …). The network client's schemes only,
// unless `anyScheme`: app links have schemes of their own.
std::optional<URLParts> parseURL(std::string_view text, bool anyScheme = false);

}  // namespace platform
