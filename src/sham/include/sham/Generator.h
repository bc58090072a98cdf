#pragma once

#include "sham/DateFormatter.h"
#include "sham/Parser.h"

#include "platform/Random.h"

#include <string>
#include <string_view>

namespace sham {

// `n` letters "a" to "z" drawn independently; empty for n below 1.
std::string randomLowercaseLetters(platform::RandomSource& random, int n);

// Base of the value generators: the parser they read from, the random
// source they draw from, and the fills for "#" and "?".
class Generator {
public:
    struct Constants {
        static constexpr std::string_view uppercaseLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
        static constexpr std::string_view numbers = "0123456789";
    };

    Generator(Parser& parser, platform::RandomSource& random) : parser_(&parser), random_(&random) {}

    std::string fetch(std::string_view key) { return parser_->fetch(key); }

    // Each "#" becomes a digit; one at the very start is 1 to 9, so that a
    // number never opens with 0, and any other is 0 to 9.
    std::string numerify(std::string text);
    // Each "?" becomes a capital letter.
    std::string letterify(std::string text);
    std::string bothify(std::string text);
    // Keeps only ASCII letters, digits and "_".
    static std::string alphaNumerify(std::string_view text);
    // One random word from each inner list of a list of word lists.
    std::string joinedRandomWords(std::string_view key);

    const DateFormatter& dateFormatter() const { return dateFormatter_; }
    Parser& parser() { return *parser_; }

protected:
    platform::RandomSource& random() { return *random_; }

private:
    Parser* parser_;
    platform::RandomSource* random_;
    DateFormatter dateFormatter_;
};

}  // namespace sham
