#pragma once

#include <array>
#include <string_view>

// The engine's own texts, kept together.
namespace sham::texts {

// "JSON file for '" + locale + "' locale was not found."
inline constexpr std::string_view localeNotFoundBefore = "JSON file for '";
inline constexpr std::string_view localeNotFoundAfter = "' locale was not found.";

// Where the engine's log lines come from.
inline constexpr std::string_view logSubsystem = "org.stubforge.sham";
inline constexpr std::string_view parserCategory = "Parser";

inline constexpr std::string_view fallbackLocale = "en";
inline constexpr std::string_view sectionsMember = "faker";
inline constexpr std::string_view templateOpening = "#{";

inline constexpr std::string_view secureScheme = "https://";
inline constexpr std::string_view logoHost = "logos.stubforge.example";
inline constexpr std::string_view logoPath = "/fake-logos/logos/medium/color/";
inline constexpr std::string_view logoExtension = ".png";
inline constexpr int logoCount = 13;
inline constexpr std::string_view imageHost = "picsum.photos";
inline constexpr std::string_view templateImageHost = "placehold.co";

// Second-level names reserved for documentation, so safe addresses reach no one.
inline constexpr std::array<std::string_view, 3> safeEmailDomains = {"example.org", "example.com", "example.net"};

}  // namespace sham::texts
