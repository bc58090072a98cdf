#pragma once

// Small text and style pieces the document generators share: joining,
// number and money texts, page numbers, fake addresses and text styles.

#include "platform/graphics/AttributedText.h"
#include "platform/graphics/Font.h"

#include "sham/Faker.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace stubforge {

// The parts one after another. Built by appending: GCC 12 at -O3 warns
// (restrict) on a literal + a temporary string.
inline std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    for (const std::string_view part : parts) {
        text.append(part);
    }
    return text;
}

// ASCII only, whatever the process locale.
std::string lowercase(std::string text);

std::vector<std::string> listOf(std::span<const std::string_view> items);

// `value` with exactly `digits` decimals, "." whatever the locale, no
// grouping: 2.5 → "2.50" for 2.
std::string fixedDecimals(double value, int digits);

// A whole-dollar amount as the currency formatter writes it, or "$" and the
// digits where it cannot.
std::string wholeDollars(std::int64_t amount);

// "3 / 7".
std::string pageOfPages(std::size_t page, std::size_t pageCount);

// "street\ncity, ST postcode", drawn in that order.
std::string fakeMailingAddress(sham::Faker& faker);

// "street, city, State", then " postcode" when asked, drawn in that order.
std::string fakeAddressLine(sham::Faker& faker, bool withPostcode);

platform::graphics::TextStyle textStyle(platform::graphics::Font font,
                                        platform::graphics::Alignment alignment = platform::graphics::Alignment::left);
platform::graphics::TextStyle textStyle(platform::graphics::Font font,
                                        const platform::graphics::ParagraphStyle& paragraph);

}  // namespace stubforge
