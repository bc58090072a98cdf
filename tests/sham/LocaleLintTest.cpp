// Holds the shipped "en" locale file against what the generators read.

#include "TestSupport.h"

#include "sham/Faker.h"
#include "sham/LocaleKeys.h"
#include "sham/Provider.h"

#include "platform/Bundle.h"
#include "platform/Random.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace sham::test {
namespace {

using Json = nlohmann::json;

std::filesystem::path shippedLocale() {
    return sourceDirectory() / "resources" / "Sham_Sham.bundle" / "Resources" / "Locales" / "en.json";
}

std::string readBytes(const std::filesystem::path& path) {
    std::ifstream stream(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>()};
}

std::vector<std::string> splitKey(std::string_view key) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = key.find('.', start);
        pieces.emplace_back(key.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) {
            return pieces;
        }
        start = dot + 1;
    }
}

// The texts a key stands for: the text itself or the elements of a list of
// texts; nothing for any other shape.
std::vector<std::string> textsOf(const Json& value) {
    if (value.is_string()) {
        return {value.get<std::string>()};
    }
    std::vector<std::string> texts;
    if (value.is_array()) {
        for (const Json& element : value) {
            if (!element.is_string()) {
                return {};
            }
            texts.push_back(element.get<std::string>());
        }
    }
    return texts;
}

bool isIsoDay(const std::string& text) {
    static const std::regex shape(R"((\d{4})-(\d{2})-(\d{2}))");
    std::smatch parts;
    if (!std::regex_match(text, parts, shape)) {
        return false;
    }
    const std::chrono::year_month_day day{std::chrono::year(std::stoi(parts[1])),
                                          std::chrono::month(static_cast<unsigned>(std::stoi(parts[2]))),
                                          std::chrono::day(static_cast<unsigned>(std::stoi(parts[3])))};
    return day.ok();
}

bool hasContent(KeyContent content, const std::string& text) {
    static const std::map<KeyContent, std::regex> shapes = {
        {KeyContent::personName, std::regex("[A-Za-z]+(['-][A-Za-z]+)*")},
        {KeyContent::stateAbbreviation, std::regex("[A-Z]{2}")},
        {KeyContent::countryCode, std::regex("[A-Z]{2,3}")},
        {KeyContent::domain, std::regex("[a-z0-9]+(-[a-z0-9]+)*(\\.[a-z0-9]+(-[a-z0-9]+)*)*")},
        {KeyContent::hashtag, std::regex("#[A-Za-z][A-Za-z0-9]*")},
        {KeyContent::cardNumber, std::regex("[0-9]+([- ][0-9]+)*")},
    };
    if (content == KeyContent::any) {
        return true;
    }
    if (content == KeyContent::isoDate) {
        return isIsoDay(text);
    }
    return std::regex_match(text, shapes.at(content));
}

class ShamLocaleLint : public ::testing::Test {
protected:
    void SetUp() override {
        const auto path = shippedLocale();
        ASSERT_TRUE(std::filesystem::is_regular_file(path)) << "missing locale file " << path;
        bytes_ = readBytes(path);
        try {
            document_ = Json::parse(bytes_);
        } catch (const Json::exception& error) {
            FAIL() << "en.json is not JSON: " << error.what();
        }
        ASSERT_TRUE(document_.is_object());
        ASSERT_TRUE(document_.contains("en") && document_["en"].is_object()) << "no \"en\" object at the top";
        ASSERT_TRUE(document_["en"].contains("faker") && document_["en"]["faker"].is_object())
            << "no \"faker\" object under \"en\"";
        sections_ = &document_["en"]["faker"];
    }

    // The value the engine finds for the key: every piece before the last
    // must name an object.
    const Json* find(std::string_view key) const {
        const Json* current = sections_;
        const auto pieces = splitKey(key);
        for (std::size_t index = 0; index < pieces.size(); ++index) {
            if (!current->is_object() || !current->contains(pieces[index])) {
                return nullptr;
            }
            current = &(*current)[pieces[index]];
        }
        return current;
    }

    // The keys the placeholders of `text` name, unqualified ones in `subject`.
    static std::vector<std::string> placeholderKeys(const std::string& text, const std::string& subject) {
        static const std::regex placeholder(R"(#\{([A-Za-z]+\.)?([^\}]+)\})");
        std::vector<std::string> keys;
        for (std::sregex_iterator match(text.begin(), text.end(), placeholder), end; match != end; ++match) {
            std::string key = (*match)[1].matched ? (*match)[1].str() : subject + ".";
            for (char& character : key) {
                character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
            }
            keys.push_back(key + (*match)[2].str());
        }
        return keys;
    }

    static std::string withoutPlaceholders(const std::string& text) {
        static const std::regex placeholder(R"(#\{([A-Za-z]+\.)?([^\}]+)\})");
        return std::regex_replace(text, placeholder, "");
    }

    // Fill characters a text can still hold after its placeholders are
    // expanded; reports unresolved placeholders and cycles on the way.
    std::set<char> fillsOf(const std::string& text, const std::string& subject, std::vector<std::string>& trail) {
        std::set<char> fills;
        const std::string literal = withoutPlaceholders(text);
        if (literal.find("#{") != std::string::npos) {
            problems_.push_back("\"" + text + "\" (under " + trail.back() + ") has an unclosed placeholder");
        }
        for (const char character : literal) {
            if (character == '#' || character == '?') {
                fills.insert(character);
            }
        }
        for (const std::string& key : placeholderKeys(text, subject)) {
            const auto fromKey = fillsOfKey(key, trail);
            fills.insert(fromKey.begin(), fromKey.end());
        }
        return fills;
    }

    std::set<char> fillsOfKey(const std::string& key, std::vector<std::string>& trail) {
        if (std::find(trail.begin(), trail.end(), key) != trail.end()) {
            std::string cycle;
            for (const auto& step : trail) {
                cycle += step + " -> ";
            }
            problems_.push_back("placeholder cycle: " + cycle + key);
            return {};
        }
        if (const auto known = fillsByKey_.find(key); known != fillsByKey_.end()) {
            return known->second;
        }
        const Json* value = find(key);
        const std::vector<std::string> texts = value != nullptr ? textsOf(*value) : std::vector<std::string>{};
        if (texts.empty()) {
            problems_.push_back("placeholder under " + trail.back() + " names " + key +
                                ", which is missing, empty or not a text or list of texts");
            return {};
        }
        trail.push_back(key);
        std::set<char> fills;
        for (const std::string& text : texts) {
            const auto found = fillsOf(text, splitKey(key).front(), trail);
            fills.insert(found.begin(), found.end());
        }
        trail.pop_back();
        fillsByKey_[key] = fills;
        return fills;
    }

    static std::string describe(const std::vector<std::string>& problems) {
        std::ostringstream text;
        text << problems.size() << " problem(s) in en.json:\n";
        for (const auto& problem : problems) {
            text << "  - " << problem << "\n";
        }
        return text.str();
    }

    std::string bytes_;
    Json document_;
    const Json* sections_ = nullptr;
    std::vector<std::string> problems_;
    std::map<std::string, std::set<char>> fillsByKey_;
};

TEST_F(ShamLocaleLint, IsAsciiWithTextsOnlyAndNoEmptyList) {
    for (std::size_t index = 0; index < bytes_.size(); ++index) {
        ASSERT_LT(static_cast<unsigned char>(bytes_[index]), 0x80u) << "non-ASCII byte at offset " << index;
    }
    std::vector<std::string> problems;
    std::function<void(const Json&, const std::string&)> visit = [&](const Json& node, const std::string& path) {
        if (node.is_object()) {
            if (node.empty()) {
                problems.push_back(path + " is an empty object");
            }
            for (const auto& [name, member] : node.items()) {
                visit(member, path.empty() ? name : path + "." + name);
            }
        } else if (node.is_array()) {
            if (node.empty()) {
                problems.push_back(path + " is an empty list");
            }
            for (const Json& element : node) {
                if (element.is_object()) {
                    problems.push_back(path + " holds an object");
                }
                visit(element, path + "[]");
            }
        } else if (!node.is_string()) {
            problems.push_back(path + " holds a value that is not a text: " + node.dump());
        } else if (node.get<std::string>().empty()) {
            problems.push_back(path + " holds an empty text");
        }
    };
    visit(*sections_, "");
    EXPECT_TRUE(problems.empty()) << describe(problems);
}

TEST_F(ShamLocaleLint, EveryKeyTheGeneratorsReadHasItsShape) {
    std::set<std::string> stateAbbreviations;
    if (const Json* abbreviations = find("address.state_abbr")) {
        for (const auto& abbreviation : textsOf(*abbreviations)) {
            stateAbbreviations.insert(abbreviation);
        }
    }
    for (const LocaleKey& entry : localeKeys) {
        const std::string key(entry.key);
        const std::string reader = key + " (read by " + std::string(entry.readBy) + ")";
        const Json* value = find(key);
        if (value == nullptr) {
            problems_.push_back(reader + " is missing");
            continue;
        }
        std::vector<std::string> texts;
        std::size_t count = 0;
        switch (entry.shape) {
        case KeyShape::text: {
            texts = textsOf(*value);
            if (texts.empty()) {
                problems_.push_back(reader + " must be a text or a non-empty list of texts");
                continue;
            }
            count = std::set<std::string>(texts.begin(), texts.end()).size();
            break;
        }
        case KeyShape::textLists: {
            bool wellFormed = value->is_array() && !value->empty();
            for (const Json& inner : value->is_array() ? *value : Json::array()) {
                const auto words = textsOf(inner);
                wellFormed = wellFormed && inner.is_array() && !words.empty();
                for (const auto& word : words) {
                    if (word.find_first_of("#?") != std::string::npos) {
                        problems_.push_back(reader + " holds \"" + word +
                                            "\": its words are used as they stand, without fills or placeholders");
                    }
                }
            }
            if (!wellFormed) {
                problems_.push_back(reader + " must be a non-empty list of non-empty lists of texts");
            }
            count = value->is_array() ? value->size() : 0;
            break;
        }
        case KeyShape::textsPerState: {
            if (!value->is_object()) {
                problems_.push_back(reader + " must be an object with one member per state abbreviation");
                continue;
            }
            std::set<std::string> members;
            for (const auto& [abbreviation, perState] : value->items()) {
                members.insert(abbreviation);
                const auto stateTexts = textsOf(perState);
                if (stateTexts.empty()) {
                    problems_.push_back(reader + "." + abbreviation + " must be a text or non-empty list of texts");
                }
                texts.insert(texts.end(), stateTexts.begin(), stateTexts.end());
            }
            if (members != stateAbbreviations) {
                problems_.push_back(reader + " members differ from the entries of address.state_abbr");
            }
            count = members.size();
            break;
        }
        }
        // A list of templates stands for every combination of the lists it
        // names; those lists are counted where they are read.
        const bool templated = std::any_of(
            texts.begin(), texts.end(), [](const std::string& text) { return text.find("#{") != std::string::npos; });
        if (!templated && count < entry.minimumCount) {
            problems_.push_back(reader + " has " + std::to_string(count) + " distinct entries, needs at least " +
                                std::to_string(entry.minimumCount));
        }
        if (!templated && entry.maximumCount != 0 && count > entry.maximumCount) {
            problems_.push_back(reader + " has " + std::to_string(count) + " entries, at most " +
                                std::to_string(entry.maximumCount) + " wanted");
        }
        if (entry.shape == KeyShape::textLists) {
            continue;
        }

        const bool digitsFilled = entry.fill == KeyFill::digits || entry.fill == KeyFill::both;
        const bool lettersFilled = entry.fill == KeyFill::letters || entry.fill == KeyFill::both;
        std::vector<std::string> trail{key};
        for (const std::string& text : texts) {
            if (!hasContent(entry.content, text)) {
                problems_.push_back(reader + " holds \"" + text + "\", which is not of the form it needs");
            }
            const std::string checked = entry.content == KeyContent::hashtag ? text.substr(1) : text;
            const auto fills = fillsOf(checked, splitKey(key).front(), trail);
            if (fills.count('#') != 0 && !digitsFilled) {
                problems_.push_back(reader + " can give \"#\" through \"" + text + "\", which nothing fills");
            }
            if (fills.count('?') != 0 && !lettersFilled) {
                problems_.push_back(reader + " can give \"?\" through \"" + text + "\", which nothing fills");
            }
        }
    }
    EXPECT_TRUE(problems_.empty()) << describe(problems_);
}

// Placeholders anywhere in the file, read or not, must resolve without a cycle.
TEST_F(ShamLocaleLint, EveryPlaceholderResolves) {
    std::function<void(const Json&, const std::string&, const std::string&)> visit =
        [&](const Json& node, const std::string& subject, const std::string& path) {
            if (node.is_object()) {
                for (const auto& [name, member] : node.items()) {
                    visit(member, subject.empty() ? name : subject, path.empty() ? name : path + "." + name);
                }
            } else if (node.is_array()) {
                for (const Json& element : node) {
                    visit(element, subject, path);
                }
            } else if (node.is_string()) {
                std::vector<std::string> trail{path};
                fillsOf(node.get<std::string>(), subject, trail);
            }
        };
    visit(*sections_, "", "");
    EXPECT_TRUE(problems_.empty()) << describe(problems_);
}

// The engine itself on the shipped file: every text key gives a non-empty,
// fully expanded value.
TEST_F(ShamLocaleLint, EngineDrawsFromEveryKey) {
    platform::SeededRandom random(1);
    Faker faker("en", localesIn(shippedLocale().parent_path()), random);
    Parser& parser = faker.parser();
    for (const LocaleKey& entry : localeKeys) {
        for (int draw = 0; draw < 50; ++draw) {
            std::string value;
            if (entry.shape == KeyShape::textLists) {
                value = faker.company().joinedRandomWords(entry.key);
            } else if (entry.shape == KeyShape::text) {
                value = parser.fetch(entry.key);
            } else {
                value = faker.address().postcode(faker.address().stateAbbreviation());
            }
            ASSERT_FALSE(value.empty()) << entry.key;
            ASSERT_EQ(value.find("#{"), std::string::npos) << entry.key << ": " << value;
        }
    }
}

// A thousand draws give names and places enough to fill a thousand rows
// without looking repeated.
TEST_F(ShamLocaleLint, DrawsAreVaried) {
    platform::SeededRandom random(7);
    Faker faker("en", localesIn(shippedLocale().parent_path()), random);
    const struct {
        const char* what;
        std::function<std::string()> draw;
        std::size_t leastDistinct;
    } cases[] = {
        {"Name - First Name", [&] { return faker.name().firstName(); }, 700},
        {"Name - Last Name", [&] { return faker.name().lastName(); }, 450},
        {"Address - City", [&] { return faker.address().city(); }, 800},
    };
    for (const auto& [what, draw, leastDistinct] : cases) {
        std::set<std::string> distinct;
        for (int index = 0; index < 1000; ++index) {
            const std::string value = draw();
            ASSERT_TRUE(!value.empty() && value.find("#{") == std::string::npos) << what << " gave \"" << value << "\"";
            distinct.insert(value);
        }
        EXPECT_GE(distinct.size(), leastDistinct) << what;
    }
}

// Whether `iban` passes the ISO 13616 check: its first four characters moved
// to the end and its letters read as 10 to 35, it leaves 1 modulo 97.
bool passesIbanCheck(const std::string& iban) {
    if (iban.size() < 5) {
        return false;
    }
    std::string digits;
    for (const char character : iban.substr(4) + iban.substr(0, 4)) {
        if (character >= '0' && character <= '9') {
            digits += character;
        } else if (character >= 'A' && character <= 'Z') {
            digits += std::to_string(character - 'A' + 10);
        } else {
            return false;
        }
    }
    int remainder = 0;
    for (const char digit : digits) {
        remainder = (remainder * 10 + (digit - '0')) % 97;
    }
    return remainder == 1;
}

TEST_F(ShamLocaleLint, IbansPassTheirCheck) {
    // The checker itself, on the standard's example and a one-digit slip.
    ASSERT_TRUE(passesIbanCheck("GB82WEST12345698765432"));
    ASSERT_FALSE(passesIbanCheck("GB82WEST12345698765433"));
    ASSERT_FALSE(passesIbanCheck("GB28WEST12345698765432"));

    const Config locales = localesIn(shippedLocale().parent_path());
    const std::regex shape("GB[0-9]{2}[A-Z]{4}[0-9]{14}");
    for (const std::uint64_t seed : {1u, 2u, 3u}) {
        platform::SeededRandom random(seed);
        Faker faker("en", locales, random);
        std::set<std::string> checkDigits;
        for (int index = 0; index < 2000; ++index) {
            const std::string iban = faker.bank().iban();
            ASSERT_TRUE(std::regex_match(iban, shape)) << iban;
            ASSERT_TRUE(passesIbanCheck(iban)) << iban;
            checkDigits.insert(iban.substr(2, 2));
        }
        // Computed, yet spread over the whole range as the rest varies.
        EXPECT_GT(checkDigits.size(), 90u);
    }
}

// The build tree and an installation reach the same file through the bundle.
TEST(ShamLocaleBundle, DefaultSearchFindsTheShippedFile) {
    Provider provider(Config::inResources(platform::Bundle::main().resourcePath()));
    const auto path = provider.localePath("en");
    ASSERT_TRUE(path.has_value());
    std::error_code error;
    EXPECT_TRUE(std::filesystem::equivalent(*path, shippedLocale(), error)) << *path;
    EXPECT_NE(path->string().find("Sham_Sham.bundle/Resources/Locales/en.json"), std::string::npos) << *path;
}

}  // namespace
}  // namespace sham::test
