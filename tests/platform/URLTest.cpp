#include "platform/URL.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

namespace {

using platform::parseURL;

struct URLCase {
    std::string_view text;
    bool anyScheme;
    bool parses;
    std::string_view scheme;
    std::string_view host;
    std::optional<std::string_view> query;
};

TEST(URLTest, ReadsTheSchemeHostAndQueryOfAbsoluteURLs) {
    const URLCase cases[] = {
        {"https://example.com/a?b=1", false, true, "https", "example.com", "b=1"},
        {"HTTP://Example.com:8080/", false, true, "http", "Example.com", std::nullopt},
        {"http://127.0.0.1:5000/a", false, true, "http", "127.0.0.1", std::nullopt},
        {"stubforge://open?x=y", true, true, "stubforge", "open", "x=y"},
        {"stubforge://open?x=y", false, false, "", "", std::nullopt},
        {"/relative/path", false, false, "", "", std::nullopt},
        {"", true, false, "", "", std::nullopt},
        {"http://exa mple.com", false, false, "", "", std::nullopt},
        {std::string_view("http://a.com/\0x", 15), false, false, "", "", std::nullopt},
    };
    for (const URLCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        const auto parts = parseURL(c.text, c.anyScheme);
        ASSERT_EQ(parts.has_value(), c.parses);
        if (!parts) {
            continue;
        }
        EXPECT_EQ(parts->scheme, c.scheme);
        EXPECT_EQ(parts->host, c.host);
        EXPECT_EQ(parts->query, c.query ? std::optional<std::string>(std::string(*c.query)) : std::nullopt);
    }
}

}  // namespace
