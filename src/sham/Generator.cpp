#include "sham/Generator.h"

namespace sham {

using platform::Value;

std::string randomLowercaseLetters(platform::RandomSource& random, int n) {
    std::string letters;
    if (n < 1) {
        return letters;
    }
    letters.resize(static_cast<std::size_t>(n));
    for (char& letter : letters) {
        letter = static_cast<char>('a' + random.below(26));
    }
    return letters;
}

std::string Generator::numerify(std::string text) {
    for (std::size_t position = 0; position < text.size(); ++position) {
        if (text[position] != '#') {
            continue;
        }
        if (position == 0) {
            text[position] = Constants::numbers[1 + random_->below(Constants::numbers.size() - 1)];
        } else {
            text[position] = Constants::numbers[random_->below(Constants::numbers.size())];
        }
    }
    return text;
}

std::string Generator::letterify(std::string text) {
    for (char& character : text) {
        if (character == '?') {
            character = Constants::uppercaseLetters[random_->below(Constants::uppercaseLetters.size())];
        }
    }
    return text;
}

std::string Generator::bothify(std::string text) { return letterify(numerify(std::move(text))); }

std::string Generator::alphaNumerify(std::string_view text) {
    std::string kept;
    kept.reserve(text.size());
    for (const char character : text) {
        if ((character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z') ||
            (character >= '0' && character <= '9') || character == '_') {
            kept += character;
        }
    }
    return kept;
}

std::string Generator::joinedRandomWords(std::string_view key) {
    std::string joined;
    const Value* value = parser_->lookupWithFallback(key);
    const Value::Array* lists = value != nullptr ? value->asArray() : nullptr;
    if (lists == nullptr) {
        return joined;
    }
    for (const Value& list : *lists) {
        const Value::Array* words = list.asArray();
        if (words == nullptr) {
            return {};
        }
        for (const Value& word : *words) {
            if (!word.isString()) {
                return {};
            }
        }
    }
    bool first = true;
    for (const Value& list : *lists) {
        const Value::Array& words = *list.asArray();
        if (words.empty()) {
            continue;
        }
        if (!first) {
            joined += ' ';
        }
        first = false;
        joined += *words[random_->below(words.size())].asString();
    }
    return joined;
}

}  // namespace sham
