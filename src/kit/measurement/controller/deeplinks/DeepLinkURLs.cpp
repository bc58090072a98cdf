#include "DeepLinkURLs.h"

#include "platform/URL.h"

#include <utility>

namespace kit::measurement::deeplinks {

// App links use their own schemes ("stubforge://..."), which the network
// client does not serve.
bool isURL(std::string_view text) { return !text.empty() && platform::parseURL(text, /*anyScheme=*/true).has_value(); }

std::optional<std::string> queryOfURL(std::string_view url) {
    auto parts = platform::parseURL(url, /*anyScheme=*/true);
    return parts.has_value() ? std::move(parts->query) : std::nullopt;
}

std::optional<std::string> serviceURL(std::string_view host, std::string_view path, std::string_view query) {
    if (host.empty()) {
        return std::nullopt;
    }
    std::string url;
    if (host.starts_with("https://") || host.starts_with("http://")) {
        url = std::string(host);
    } else {
        url = "https://" + std::string(host);
    }
    url += path;
    if (!query.empty()) {
        url += "?";
        url += query;
    }
    if (!isURL(url)) {
        return std::nullopt;
    }
    return url;
}

std::string hostOf(std::string_view host) {
    std::string withScheme(host);
    if (!withScheme.starts_with("https://") && !withScheme.starts_with("http://")) {
        withScheme = "https://" + withScheme;
    }
    auto parts = platform::parseURL(withScheme, /*anyScheme=*/true);
    return parts.has_value() ? std::move(parts->host) : std::string();
}

}  // namespace kit::measurement::deeplinks
