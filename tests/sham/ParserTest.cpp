#include "TestSupport.h"

#include "sham/Parser.h"
#include "sham/Provider.h"

#include "platform/Random.h"

#include <gtest/gtest.h>

#include <functional>
#include <regex>
#include <string>

namespace sham::test {
namespace {

using ShamParser = FixtureLocales;

struct FetchCase {
    std::string_view key;
    std::string_view expected;
};

TEST_F(ShamParser, FetchesTextsListsAndTemplates) {
    platform::SeededRandom random(1);
    Parser parser("en", random, locales_);
    const FetchCase cases[] = {
        {"test.single", "only"},
        {"test.empty", ""},
        {"test.plain", "as is"},
        {"test.number", ""},
        {"address", ""},
        {"missing.key", ""},
        {"", ""},
        // Literal text around placeholders stays.
        {"test.doctor", "Dr. O'Hara"},
        {"test.full", "Ada O'Hara"},
        {"test.phone", "(777) 888"},
        {"test.upper_section", "Ada"},
        {"test.upper_key", ""},
        {"test.title_job", "Analyst"},
        {"name.title.job", "Analyst"},
        {"address.city", "North Adaville"},
        {"address.street_name", "O'Hara Lane"},
        {"address.street_address", "## O'Hara Lane"},
        {"address.postcode_by_state.NY", "1####"},
        {"address.postcode_by_state.ZZ", ""},
        // A missing middle piece ends the walk instead of being skipped.
        {"name.missing.first_name", ""},
        {"address..city", ""},
        {"name.first_name.more", ""},
    };
    for (const auto& [key, expected] : cases) {
        for (int draw = 0; draw < 3; ++draw) {
            EXPECT_EQ(parser.fetch(key), expected) << key;
        }
    }
}

TEST_F(ShamParser, ListElementsAreDrawnUniformly) {
    platform::SeededRandom random(2);
    Parser parser("en", random, locales_);
    std::map<std::string, int> seen;
    for (int draw = 0; draw < 4000; ++draw) {
        ++seen[parser.fetch("lorem.words")];
    }
    ASSERT_EQ(seen.size(), 4u);
    for (const auto& [word, count] : seen) {
        EXPECT_NEAR(count, 1000, 150) << word;
    }
}

TEST_F(ShamParser, LookupWalksObjectsAndFindsObjects) {
    platform::SeededRandom random(3);
    Parser parser("en", random, locales_);
    const platform::Value* title = parser.lookupWithFallback("name.title");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->isDictionary());
    const platform::Value* job = parser.lookupWithFallback("name.title.job");
    ASSERT_NE(job, nullptr);
    ASSERT_TRUE(job->isArray());
    EXPECT_EQ(*job->asArray()->front().asString(), "Analyst");
    EXPECT_EQ(parser.lookupWithFallback("name.nothing.job"), nullptr);
}

TEST_F(ShamParser, OtherLocaleFallsBackToEnglishPerKey) {
    platform::SeededRandom random(4);
    Parser parser("xx", random, locales_);
    EXPECT_EQ(parser.fetch("name.first_name"), "Xena");
    EXPECT_EQ(parser.fetch("name.last_name"), "O'Hara");
    // Placeholders resolve in the current locale first, then in "en".
    EXPECT_EQ(parser.fetch("name.name"), "Xena O'Hara");
    // A value of the wrong kind is still a result: no fallback.
    EXPECT_EQ(parser.fetch("address.city"), "");
    EXPECT_EQ(parser.lookup("name.last_name", "xx"), nullptr);
    EXPECT_NE(parser.lookup("name.last_name", "en"), nullptr);
}

TEST(ShamMissingLocale, PrintsTheLineAndFallsBackToEnglish) {
    platform::CaptureLogSink log;
    platform::SeededRandom random(5);
    Parser parser("zz", random, localesIn(fixtureLocales(), log));
    EXPECT_EQ(log.drainLines(), std::vector<std::string>{"JSON file for 'zz' locale was not found."});
    EXPECT_EQ(parser.locale(), "zz");
    EXPECT_EQ(parser.fetch("name.first_name"), "Ada");
    EXPECT_EQ(parser.data().count("zz"), 0u);
}

TEST(ShamMissingLocale, WithoutAnyDataEveryFetchIsEmpty) {
    TemporaryDirectory empty;
    platform::CaptureLogSink log;
    platform::SeededRandom random(6);
    Parser parser("en", random, localesIn(empty.path(), log));
    EXPECT_EQ(parser.fetch("name.first_name"), "");
    EXPECT_EQ(parser.fetch("separator"), "");
    EXPECT_EQ(log.drainLines(), std::vector<std::string>{"JSON file for 'en' locale was not found."});
}

TEST(ShamMissingLocale, UnusableFilesCountAsMissing) {
    const std::string_view contents[] = {
        "{ not json", "[\"en\"]", "{}", "{\"fr\": {\"faker\": {}}}", "\"en\"", "",
    };
    for (const std::string_view content : contents) {
        TemporaryDirectory folder;
        folder.write("en.json", content);
        platform::CaptureLogSink log;
        platform::SeededRandom random(7);
        Parser parser("en", random, localesIn(folder.path(), log));
        EXPECT_EQ(log.drainLines(), std::vector<std::string>{"JSON file for 'en' locale was not found."}) << content;
        EXPECT_EQ(parser.fetch("name.first_name"), "") << content;
    }
}

TEST(ShamLocaleSetter, ReloadsOnlyWhenTheLocaleChanges) {
    TemporaryDirectory folder;
    folder.write("en.json", R"({"en": {"faker": {"name": {"first_name": "Ada"}}}})");
    platform::CaptureLogSink log;
    platform::SeededRandom random(8);

    Parser parser("zz", random, localesIn(folder.path(), log));
    EXPECT_EQ(log.drainLines(), std::vector<std::string>{"JSON file for 'zz' locale was not found."});

    folder.write("zz.json", R"({"zz": {"faker": {"name": {"first_name": "Zed"}}}})");
    parser.setLocale("zz");
    EXPECT_EQ(log.drainLines(), std::vector<std::string>{});
    EXPECT_EQ(parser.fetch("name.first_name"), "Ada");

    parser.setLocale("en");
    parser.setLocale("zz");
    EXPECT_EQ(parser.fetch("name.first_name"), "Zed");

    // Bytes read once stay with the provider: going back and forth does not
    // need the file any more.
    std::filesystem::remove(folder.path() / "zz.json");
    std::filesystem::remove(folder.path() / "en.json");
    parser.setLocale("en");
    parser.setLocale("zz");
    EXPECT_EQ(parser.fetch("name.first_name"), "Zed");
    EXPECT_EQ(parser.provider().translations().size(), 2u);
}

TEST(ShamTemplateDepth, RecursionStopsAtTheDepthLimit) {
    // k0 -> "x#{k1}" -> ... -> kN = "end".
    auto chain = [](int length) {
        std::string sections = R"({"en": {"faker": {"chain": {)";
        for (int index = 0; index < length; ++index) {
            sections += "\"k" + std::to_string(index) + "\": \"x#{k" + std::to_string(index + 1) + "}\", ";
        }
        sections += "\"k" + std::to_string(length) + "\": \"end\"}}}}";
        return sections;
    };
    const int limit = Parser::maximumTemplateDepth;
    const struct {
        int length;
        std::string expected;
    } cases[] = {
        {1, "xend"},
        {limit, std::string(static_cast<std::size_t>(limit), 'x') + "end"},
        {limit + 1, std::string(static_cast<std::size_t>(limit) + 1, 'x')},
        {limit + 5, std::string(static_cast<std::size_t>(limit) + 1, 'x')},
    };
    for (const auto& [length, expected] : cases) {
        TemporaryDirectory folder;
        folder.write("en.json", chain(length));
        const Config locales = localesIn(folder.path());
        platform::SeededRandom random(9);
        Parser parser("en", random, locales);
        EXPECT_EQ(parser.fetch("chain.k0"), expected) << length;
    }
}

TEST_F(ShamParser, SelfReferenceEnds) {
    platform::SeededRandom random(10);
    Parser parser("en", random, locales_);
    EXPECT_EQ(parser.fetch("test.self"), std::string(Parser::maximumTemplateDepth + 1, 'b'));
}

// Values that name themselves more than once branch: without a budget per
// call, three references give 3^16 expansions.
TEST(ShamTemplateBudget, BranchingSelfReferenceStaysBounded) {
    const std::string wide(128 * 1024, 'w');
    TemporaryDirectory folder;
    folder.write("en.json", R"({"en": {"faker": {"fan": {"fan3": "x#{fan3}#{fan3}#{fan3}", "wide": ")" + wide +
                                R"(#{wide}#{wide}"}}}})");
    const Config locales = localesIn(folder.path());
    platform::SeededRandom random(14);
    Parser parser("en", random, locales);
    const std::size_t expansions = Parser::maximumPlaceholderExpansions;
    const struct {
        std::string_view what;
        std::function<std::string()> run;
        std::string expected;
    } cases[] = {
        // Each placeholder expanded adds one "x" to the top value's own.
        {"fetch", [&] { return parser.fetch("fan.fan3"); }, std::string(expansions + 1, 'x')},
        {"appendFetch",
         [&] {
             std::string out = "kept:";
             parser.appendFetch(out, "fan.fan3");
             return out;
         },
         "kept:" + std::string(expansions + 1, 'x')},
        // The budget is shared by every placeholder of one call.
        {"expandTemplate", [&] { return parser.expandTemplate("#{fan3}-#{fan3}", "fan"); },
         std::string(expansions, 'x') + "-"},
        // Large values stop at the output limit long before the count does.
        {"wide", [&] { return parser.fetch("fan.wide"); },
         [&] {
             std::string out;
             while (out.size() < Parser::maximumExpandedBytes) {
                 out += wide;
             }
             return out;
         }()},
    };
    for (const auto& [what, run, expected] : cases) {
        for (int repeat = 0; repeat < 2; ++repeat) {
            const std::string out = run();
            EXPECT_EQ(out.size(), expected.size()) << what;
            EXPECT_TRUE(out == expected) << what;
        }
    }
}

// The hand-written scanner against the pattern it implements, on texts
// built from the characters that matter to it.
TEST_F(ShamParser, TemplateScannerAgreesWithThePattern) {
    platform::SeededRandom random(11);
    Parser parser("en", random, locales_);
    const std::regex placeholder(R"(#\{([A-Za-z]+\.)?([^\}]+)\})", std::regex::icase);
    auto reference = [&](const std::string& text, std::string_view subject) {
        std::string out;
        auto position = text.cbegin();
        for (std::sregex_iterator match(text.begin(), text.end(), placeholder), end; match != end; ++match) {
            out.append(position, (*match)[0].first);
            std::string key = (*match)[1].matched ? (*match)[1].str() : std::string(subject) + ".";
            for (char& character : key) {
                character = static_cast<char>(std::tolower(static_cast<unsigned char>(character)));
            }
            key += (*match)[2].str();
            if (const platform::Value* value = parser.lookupWithFallback(key)) {
                if (const std::string* single = value->asString()) {
                    out += *single;
                } else if (const auto* list = value->asArray(); list != nullptr && list->size() == 1) {
                    out += *list->front().asString();
                }
            }
            position = (*match)[0].second;
        }
        out.append(position, text.cend());
        return out;
    };

    const std::string_view pieces[] = {"#{",    "}",          "#",         "{",     ".",         "Name.", "NAME.",
                                       "name.", "first_name", "last_name", "test.", "area_code", " ",     "(",
                                       ")",     "x",          "Dr. ",      "#{}",   "title.job", "a1."};
    platform::SeededRandom shapes(12);
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        const auto count = 1 + shapes.below(8);
        for (std::uint64_t piece = 0; piece < count; ++piece) {
            text += pieces[shapes.below(std::size(pieces))];
        }
        for (const std::string_view subject : {"test", "name"}) {
            ASSERT_EQ(parser.expandTemplate(text, subject), reference(text, subject))
                << "text: " << text << " subject: " << subject;
        }
    }
}

TEST(ShamLocaleData, EachFileIsParsedOncePerProcess) {
    const Config locales = localesIn(fixtureLocales());
    platform::SeededRandom random(13);
    Parser first("en", random, locales);
    Parser second("xx", random, locales);
    ASSERT_EQ(first.data().count("en"), 1u);
    ASSERT_EQ(second.data().count("en"), 1u);
    EXPECT_EQ(first.data().at("en").get(), second.data().at("en").get());
    EXPECT_EQ(first.provider().localeData("en").get(), second.provider().localeData("en").get());
}

TEST(ShamProviderSearch, LooksInTheLocaleDirectoryThenTheBundleTopThenAnExplicitPath) {
    TemporaryDirectory bundle;
    bundle.write("Resources/Locales/en.json", "1");
    bundle.write("en.json", "2");
    bundle.write("fr.json", "3");
    bundle.write("Faker.bundle/en.json", "4");
    TemporaryDirectory explicitFolder;
    explicitFolder.write("en.json", "5");

    Config config;
    config.resourceBundle = bundle.path();
    auto read = [&](std::string_view locale) {
        Provider provider(config);
        const auto bytes = provider.localeData(locale);
        return bytes ? *bytes : std::string("(none)");
    };
    EXPECT_EQ(read("en"), "1");
    EXPECT_EQ(read("fr"), "3");
    EXPECT_EQ(read("de"), "(none)");
    EXPECT_EQ(read("../en"), "(none)");

    config.localeDirectory = "Nowhere";
    EXPECT_EQ(read("en"), "2");
    config.localeSubdirectory = "Resources/Locales";
    EXPECT_EQ(read("en"), "1");
    EXPECT_EQ(read("fr"), "(none)");

    config.localeDirectoryPath = explicitFolder.path();
    EXPECT_EQ(read("en"), "5");
    // The explicit folder replaces the bundle even when it lacks the file.
    EXPECT_EQ(read("fr"), "(none)");

    // Without a bundle or a folder nothing is found.
    EXPECT_EQ(Provider(Config()).localeData("en"), nullptr);
}

}  // namespace
}  // namespace sham::test
