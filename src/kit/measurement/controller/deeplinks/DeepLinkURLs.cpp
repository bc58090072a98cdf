#include "DeepLinkURLs.h"

#include <curl/curl.h>

#include <memory>

namespace kit::measurement::deeplinks {
namespace {

struct UrlDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using UrlHandle = std::unique_ptr<CURLU, UrlDeleter>;

UrlHandle parsed(std::string_view text) {
    UrlHandle url(curl_url());
    if (url == nullptr || text.find('\0') != std::string_view::npos) {
        return nullptr;
    }
    const std::string copy(text);
    // App links use their own schemes ("stubforge://..."), which curl does not serve.
    if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK) {
        return nullptr;
    }
    return url;
}

std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<char, TextDeleter> owned(raw);
    return std::string(raw);
}

}  // namespace

bool isURL(std::string_view text) {
    return !text.empty() && parsed(text) != nullptr;
}

std::optional<std::string> queryOfURL(std::string_view url) {
    const auto handle = parsed(url);
    return handle != nullptr ? part(handle.get(), CURLUPART_QUERY) : std::nullopt;
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
    const auto handle = parsed(withScheme);
    return handle != nullptr ? part(handle.get(), CURLUPART_HOST).value_or("") : std::string();
}

}  // namespace kit::measurement::deeplinks
