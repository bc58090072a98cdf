#include "sham/Generators.h"
#include "sham/LocaleKeys.h"

#include "Texts.h"

#include <algorithm>

namespace sham {

namespace {

constexpr int emptyDomainWordLength = 5;

void toLowerInPlace(std::string& text) {
    for (char& character : text) {
        if (character >= 'A' && character <= 'Z') {
            character = static_cast<char>(character - 'A' + 'a');
        }
    }
}

}  // namespace

std::string Internet::username(std::string_view separator) {
    const std::uint64_t number = random().below(10000);
    const bool withNumber = random().below(2) == 1;
    std::string name = fetch(keys::nameFirstName);
    name += separator;
    parser().appendFetch(name, keys::nameLastName);
    if (withNumber) {
        name += separator;
        name += std::to_string(number);
    }
    std::erase(name, '\'');
    toLowerInPlace(name);
    return name;
}

std::string Internet::domainWord(bool alphaNumericOnly) {
    std::string companyName = fetch(keys::companyName);
    companyName.resize(std::min(companyName.size(), companyName.find(' ')));
    std::string word = alphaNumericOnly ? alphaNumerify(companyName) : std::move(companyName);
    // A company name that is empty or opens with a blank would leave the
    // address without a host name.
    if (word.empty()) {
        word = randomLowercaseLetters(random(), emptyDomainWordLength);
    }
    toLowerInPlace(word);
    return word;
}

std::string Internet::domainName(bool alphaNumericOnly) {
    std::string domain = domainWord(alphaNumericOnly);
    domain += '.';
    parser().appendFetch(domain, keys::internetDomainSuffix);
    return domain;
}

std::string Internet::domainSuffix() { return fetch(keys::internetDomainSuffix); }

std::string Internet::email() {
    std::string address = username();
    address += '@';
    address += domainName(true);
    return address;
}

std::string Internet::freeEmail() {
    std::string address = username();
    address += '@';
    parser().appendFetch(address, keys::internetFreeEmail);
    return address;
}

std::string Internet::safeEmail() {
    std::string address = username();
    address += '@';
    address += texts::safeEmailDomains[random().below(texts::safeEmailDomains.size())];
    return address;
}

std::string Internet::password(int minimumLength, int maximumLength) {
    const int firstLength = std::min(minimumLength, maximumPasswordLength);
    std::string password = randomLowercaseLetters(random(), firstLength);
    if (maximumLength > minimumLength) {
        // The difference of two ints fits in 64 bits but not always in an int.
        const auto extra = static_cast<std::uint64_t>(static_cast<std::int64_t>(maximumLength) - minimumLength);
        const std::uint64_t drawn = random().below(extra + 1);
        const auto room = static_cast<std::uint64_t>(maximumPasswordLength - std::max(firstLength, 0));
        password += randomLowercaseLetters(random(), static_cast<int>(std::min(drawn, room)));
    }
    return password;
}

std::string Internet::ipV4Address() {
    std::string address;
    address.reserve(15);
    for (int octet = 0; octet < 4; ++octet) {
        if (octet > 0) {
            address += '.';
        }
        address += std::to_string(random().below(253) + 2);
    }
    return address;
}

std::string Internet::ipV6Address() {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string address;
    address.reserve(39);
    for (int group = 0; group < 8; ++group) {
        if (group > 0) {
            address += ':';
        }
        const auto value = static_cast<unsigned>(random().below(65536));
        bool started = false;
        for (int shift = 12; shift >= 0; shift -= 4) {
            const unsigned nibble = (value >> shift) & 0xF;
            if (nibble != 0 || started || shift == 0) {
                address += digits[nibble];
                started = true;
            }
        }
    }
    return address;
}

std::string Internet::url() {
    std::string url(texts::secureScheme);
    url += domainName(true);
    url += '/';
    url += username();
    return url;
}

std::string Internet::image(int width, int height) {
    std::string address(texts::secureScheme);
    address += texts::imageHost;
    address += '/';
    address += std::to_string(width);
    address += '/';
    address += std::to_string(height);
    return address;
}

std::string Internet::templateImage(int width, int height, std::string_view firstColour,
                                    std::string_view secondColour) {
    std::string address(texts::secureScheme);
    address += texts::templateImageHost;
    address += '/';
    address += std::to_string(width);
    address += 'x';
    address += std::to_string(height);
    address += '/';
    address += firstColour;
    address += '/';
    address += secondColour;
    return address;
}

std::string Internet::hashtag() { return fetch(keys::internetHashtag); }

}  // namespace sham
