#include "kit/measurement/messages/MSRQueryString.h"

#include "kit/measurement/messages/Utf8Check.h"

namespace kit::measurement {
namespace {

bool isUnreserved(unsigned char byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') ||
           byte == '-' || byte == '.' || byte == '_' || byte == '~';
}

int hexValue(char digit) {
    if (digit >= '0' && digit <= '9') {
        return digit - '0';
    }
    if (digit >= 'a' && digit <= 'f') {
        return digit - 'a' + 10;
    }
    if (digit >= 'A' && digit <= 'F') {
        return digit - 'A' + 10;
    }
    return -1;
}

template <class Pairs>
std::string joinedPairs(const Pairs& pairs) {
    std::string query;
    for (const auto& [key, value] : pairs) {
        if (!query.empty()) {
            query += '&';
        }
        query += msr_percentEncodedQueryComponent(key);
        query += '=';
        query += msr_percentEncodedQueryComponent(value);
    }
    return query;
}

}  // namespace

std::string msr_percentEncodedQueryComponent(std::string_view text) {
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string encoded;
    encoded.reserve(text.size());
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (isUnreserved(byte)) {
            encoded += character;
        } else {
            encoded += '%';
            encoded += digits[byte >> 4];
            encoded += digits[byte & 0x0F];
        }
    }
    return encoded;
}

std::string msr_queryString(const MSRQueryDictionary& dictionary) { return joinedPairs(dictionary); }

std::string msr_queryString(const std::vector<std::pair<std::string, std::string>>& pairs) {
    return joinedPairs(pairs);
}

std::optional<std::string> msr_stringByUnescapingFromURLArgument(std::string_view argument) {
    std::string decoded;
    decoded.reserve(argument.size());
    for (std::size_t index = 0; index < argument.size(); ++index) {
        const char character = argument[index];
        if (character == '+') {
            decoded += ' ';
        } else if (character != '%') {
            decoded += character;
        } else {
            if (argument.size() - index < 3) {
                return std::nullopt;
            }
            const int high = hexValue(argument[index + 1]);
            const int low = hexValue(argument[index + 2]);
            if (high < 0 || low < 0) {
                return std::nullopt;
            }
            decoded += static_cast<char>(high * 16 + low);
            index += 2;
        }
    }
    if (!isValidUtf8(decoded)) {
        return std::nullopt;
    }
    return decoded;
}

MSRQueryDictionary msr_dictionaryWithHttpArgumentsString(std::string_view arguments) {
    MSRQueryDictionary dictionary;
    // Walked from the last piece to the first, later writes winning: the
    // first occurrence of a repeated key is the one kept.
    std::size_t end = arguments.size();
    while (true) {
        const std::size_t separator = end == 0 ? std::string_view::npos : arguments.rfind('&', end - 1);
        const std::size_t begin = separator == std::string_view::npos ? 0 : separator + 1;
        const std::string_view piece = arguments.substr(begin, end - begin);
        if (!piece.empty()) {
            const std::size_t equals = piece.find('=');
            const std::string_view rawKey = piece.substr(0, equals);
            const std::string_view rawValue =
                equals == std::string_view::npos ? std::string_view() : piece.substr(equals + 1);
            dictionary[msr_stringByUnescapingFromURLArgument(rawKey).value_or("")] =
                msr_stringByUnescapingFromURLArgument(rawValue).value_or("");
        }
        if (separator == std::string_view::npos) {
            break;
        }
        end = separator;
    }
    return dictionary;
}

}  // namespace kit::measurement
