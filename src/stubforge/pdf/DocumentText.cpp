#include "DocumentText.h"

#include "platform/Format.h"

#include <charconv>

namespace stubforge {

namespace graphics = platform::graphics;

std::string lowercase(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

std::vector<std::string> listOf(std::span<const std::string_view> items) { return {items.begin(), items.end()}; }

std::string fixedDecimals(double value, int digits) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, digits);
    return std::string(buffer, result.ptr);
}

std::string wholeDollars(std::int64_t amount) {
    const std::string text = platform::format::currency(static_cast<double>(amount));
    if (text.empty()) {
        return std::string("$").append(std::to_string(amount));
    }
    return text;
}

std::string pageOfPages(std::size_t page, std::size_t pageCount) {
    return joined({std::to_string(page), " / ", std::to_string(pageCount)});
}

// Each part is appended as it is drawn, so the draws keep their order.
std::string fakeMailingAddress(sham::Faker& faker) {
    std::string address = faker.address().streetAddress(false);
    address.append("\n").append(faker.address().city());
    address.append(", ").append(faker.address().stateAbbreviation());
    address.append(" ").append(faker.address().postcode(""));
    return address;
}

std::string fakeAddressLine(sham::Faker& faker, bool withPostcode) {
    std::string address = faker.address().streetAddress(false);
    address.append(", ").append(faker.address().city());
    address.append(", ").append(faker.address().state());
    if (withPostcode) {
        address.append(" ").append(faker.address().postcode());
    }
    return address;
}

graphics::TextStyle textStyle(graphics::Font font, graphics::Alignment alignment) {
    graphics::TextStyle style;
    style.font = std::move(font);
    style.paragraph.alignment = alignment;
    return style;
}

graphics::TextStyle textStyle(graphics::Font font, const graphics::ParagraphStyle& paragraph) {
    graphics::TextStyle style;
    style.font = std::move(font);
    style.paragraph = paragraph;
    return style;
}

}  // namespace stubforge
