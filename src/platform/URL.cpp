#include "platform/URL.h"

#include <curl/curl.h>

#include <memory>

namespace platform {
namespace {

struct URLDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct TextDeleter {
    void operator()(char* text) const { curl_free(text); }
};

std::optional<std::string> part(CURLU* url, CURLUPart which) {
    char* raw = nullptr;
    if (curl_url_get(url, which, &raw, 0) != CURLUE_OK || raw == nullptr) {
        return std::nullopt;
    }
    std::unique_ptr<char, TextDeleter> owned(raw);
    return std::string(raw);
}

}  // namespace

std::optional<URLParts> parseURL(std::string_view text, bool anyScheme) {
    if (text.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    std::unique_ptr<CURLU, URLDeleter> url(curl_url());
    if (url == nullptr) {
        return std::nullopt;
    }
    const std::string copy(text);
    if (curl_url_set(url.get(), CURLUPART_URL, copy.c_str(), anyScheme ? CURLU_NON_SUPPORT_SCHEME : 0) != CURLUE_OK) {
        return std::nullopt;
    }
    URLParts parts;
    parts.scheme = part(url.get(), CURLUPART_SCHEME).value_or("");
    parts.host = part(url.get(), CURLUPART_HOST).value_or("");
    parts.query = part(url.get(), CURLUPART_QUERY);
    return parts;
}

}  // namespace platform
