// Fake values per second over a round robin of the operations behind the 91
// column value types, on the shipped "en" data and one core.
//
//   bench-sham-values [--values N] [--seed S] [--locale-dir PATH]

#include "sham/Config.h"
#include "sham/Faker.h"

#include "platform/Format.h"
#include "platform/Random.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace {

using sham::Faker;

// Shortest text that reads back to the same double, with a decimal point.
std::string numberText(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".en") == std::string::npos) {
        text += ".0";
    }
    return text;
}

std::string expiryText(Faker& faker) {
    const auto date = faker.business().creditCardExpiryDate();
    return date ? platform::format::patternUtc(*date, "yyyy-MM-dd'T'HH:mm:ss'Z'") : std::string();
}

struct Kind {
    std::string_view name;
    std::function<std::string(Faker&)> draw;
};

// The engine operation each column value type calls, with its arguments.
std::vector<Kind> kinds() {
    return {
        {"Address - Building Number", [](Faker& f) { return f.address().buildingNumber(); }},
        {"Address - City", [](Faker& f) { return f.address().city(); }},
        {"Address - City Prefix", [](Faker& f) { return f.address().cityPrefix(); }},
        {"Address - City Suffix", [](Faker& f) { return f.address().citySuffix(); }},
        {"Address - County", [](Faker& f) { return f.address().county(); }},
        {"Address - Country", [](Faker& f) { return f.address().country(); }},
        {"Address - Country Code", [](Faker& f) { return f.address().countryCode(); }},
        {"Address - Postcode", [](Faker& f) { return f.address().postcode(""); }},
        {"Address - Secondary Address", [](Faker& f) { return f.address().secondaryAddress(); }},
        {"Address - Street Address", [](Faker& f) { return f.address().streetAddress(false); }},
        {"Address - Street Name", [](Faker& f) { return f.address().streetName(); }},
        {"Address - Street Suffix", [](Faker& f) { return f.address().streetSuffix(); }},
        {"Address - State", [](Faker& f) { return f.address().state(); }},
        {"Address - State Abbreviation", [](Faker& f) { return f.address().stateAbbreviation(); }},
        {"Address - Time Zone", [](Faker& f) { return f.address().timeZone(); }},
        {"Address - Latitude", [](Faker& f) { return numberText(f.address().latitude()); }},
        {"Address - Longitude", [](Faker& f) { return numberText(f.address().longitude()); }},
        {"App - Name", [](Faker& f) { return f.app().name(); }},
        {"App - Version", [](Faker& f) { return f.app().version(); }},
        {"App - Author", [](Faker& f) { return f.app().author(); }},
        {"Bank - BBAN", [](Faker& f) { return f.bank().bban(); }},
        {"Bank - IBAN", [](Faker& f) { return f.bank().iban(); }},
        {"Bank - Name", [](Faker& f) { return f.bank().name(); }},
        {"Bank - Swift", [](Faker& f) { return f.bank().swiftBic(); }},
        {"Business - Credit Card Number", [](Faker& f) { return f.business().creditCardNumber(); }},
        {"Business - Credit Card Expiry Date", expiryText},
        {"Business - Credit Card Type", [](Faker& f) { return f.business().creditCardType(); }},
        {"Cat - Name", [](Faker& f) { return f.cat().name(); }},
        {"Cat - Breed", [](Faker& f) { return f.cat().breed(); }},
        {"Cat - Registry", [](Faker& f) { return f.cat().registry(); }},
        {"Commerce - Color", [](Faker& f) { return f.commerce().color(); }},
        {"Commerce - Department", [](Faker& f) { return f.commerce().department(3, false); }},
        {"Commerce - Product Name", [](Faker& f) { return f.commerce().productName(); }},
        {"Commerce - Price", [](Faker& f) { return numberText(f.commerce().price()); }},
        {"Company - Name", [](Faker& f) { return f.company().name(); }},
        {"Company - Suffix", [](Faker& f) { return f.company().suffix(); }},
        {"Company - Catch Phrase", [](Faker& f) { return f.company().catchPhrase(); }},
        {"Company - BS", [](Faker& f) { return f.company().bs(); }},
        {"Company - Logo URL", [](Faker& f) { return f.company().logo(); }},
        {"Gender - Type", [](Faker& f) { return f.gender().type(); }},
        {"Gender - Binary Type", [](Faker& f) { return f.gender().binaryType(); }},
        {"Hobbit - Character", [](Faker& f) { return f.hobbit().character(); }},
        {"Hobbit - Location", [](Faker& f) { return f.hobbit().location(); }},
        {"Hobbit - Quote", [](Faker& f) { return f.hobbit().quote(); }},
        {"Hobbit - Thorins Company", [](Faker& f) { return f.hobbit().thorinsCompany(); }},
        {"Ham - Name", [](Faker& f) { return f.ham().name(); }},
        {"House - Furniture", [](Faker& f) { return f.house().furniture(); }},
        {"House - Room", [](Faker& f) { return f.house().room(); }},
        {"Internet - Username", [](Faker& f) { return f.internet().username(); }},
        {"Internet - Domain Name", [](Faker& f) { return f.internet().domainName(true); }},
        {"Internet - Domain Word", [](Faker& f) { return f.internet().domainWord(true); }},
        {"Internet - Domain Suffix", [](Faker& f) { return f.internet().domainSuffix(); }},
        {"Internet - Email", [](Faker& f) { return f.internet().email(); }},
        {"Internet - Free Email", [](Faker& f) { return f.internet().freeEmail(); }},
        {"Internet - Safe Email", [](Faker& f) { return f.internet().safeEmail(); }},
        {"Internet - Password", [](Faker& f) { return f.internet().password(8, 16); }},
        {"Internet - IPv4 Address", [](Faker& f) { return f.internet().ipV4Address(); }},
        {"Internet - IPv6 Address", [](Faker& f) { return f.internet().ipV6Address(); }},
        {"Internet - URL", [](Faker& f) { return f.internet().url(); }},
        {"Internet - Image", [](Faker& f) { return f.internet().image(320, 200); }},
        {"Internet - Template Image",
         [](Faker& f) { return f.internet().templateImage(320, 200, "000000", "ffffff"); }},
        {"Internet - Hash Tag", [](Faker& f) { return f.internet().hashtag(); }},
        {"Lorem - Word", [](Faker& f) { return f.lorem().word(); }},
        {"Lorem - Words", [](Faker& f) { return f.lorem().words(3); }},
        {"Lorem - Character", [](Faker& f) { return f.lorem().character(); }},
        {"Lorem - Characters", [](Faker& f) { return f.lorem().characters(10); }},
        {"Lorem - Sentence", [](Faker& f) { return f.lorem().sentence(4); }},
        {"Lorem - Sentences", [](Faker& f) { return f.lorem().sentences(3); }},
        {"Lorem - Paragraph", [](Faker& f) { return f.lorem().paragraph(3); }},
        {"Lorem - Paragraphs", [](Faker& f) { return f.lorem().paragraphs(3); }},
        {"Name - Name", [](Faker& f) { return f.name().name(); }},
        {"Name - First Name", [](Faker& f) { return f.name().firstName(); }},
        {"Name - Last Name", [](Faker& f) { return f.name().lastName(); }},
        {"Name - Prefix", [](Faker& f) { return f.name().prefix(); }},
        {"Name - Suffix", [](Faker& f) { return f.name().suffix(); }},
        {"Name - Title", [](Faker& f) { return f.name().title(); }},
        {"Phone number - Phone number", [](Faker& f) { return f.phoneNumber().phoneNumber(); }},
        {"Phone number - Cell phone", [](Faker& f) { return f.phoneNumber().cellPhone(); }},
        {"Phone number - Area code", [](Faker& f) { return f.phoneNumber().areaCode(); }},
        {"Phone number - Exchange code", [](Faker& f) { return f.phoneNumber().exchangeCode(); }},
        {"Phone number - Subscriber number", [](Faker& f) { return f.phoneNumber().subscriberNumber(); }},
        {"Phone number - Number extension", [](Faker& f) { return f.phoneNumber().numberExtension(3); }},
        {"Programming Language - Name", [](Faker& f) { return f.programmingLanguage().name(); }},
        {"Programming Language - Creator", [](Faker& f) { return f.programmingLanguage().creator(); }},
        {"Team - Name", [](Faker& f) { return f.team().name(); }},
        {"Team - Creature", [](Faker& f) { return f.team().creature(); }},
        {"Team - State", [](Faker& f) { return f.team().state(); }},
        {"Vehicle - Brand", [](Faker& f) { return f.car().brand(); }},
        {"Vehicle - Color", [](Faker& f) { return f.vehicle().color(); }},
        {"Vehicle - Make", [](Faker& f) { return f.vehicle().make(); }},
        {"Vehicle - Manufacture", [](Faker& f) { return f.vehicle().manufacture(); }},
    };
}

}  // namespace

int main(int argc, char** argv) {
    long long totalValues = 2'000'000;
    std::uint64_t seed = 1;
    for (int index = 1; index + 1 < argc; index += 2) {
        const std::string_view option = argv[index];
        if (option == "--values") {
            totalValues = std::atoll(argv[index + 1]);
        } else if (option == "--seed") {
            seed = std::strtoull(argv[index + 1], nullptr, 10);
        } else if (option == "--locale-dir") {
            sham::Config::setLocaleDirectoryPath(argv[index + 1]);
        } else {
            std::fprintf(stderr, "usage: bench-sham-values [--values N] [--seed S] [--locale-dir PATH]\n");
            return 2;
        }
    }

    const std::vector<Kind> table = kinds();
    platform::SeededRandom random(seed);
    Faker faker("en", random);

    std::vector<double> secondsPerKind(table.size());
    std::vector<long long> valuesPerKind(table.size());
    std::size_t bytes = 0;
    std::size_t emptyValues = 0;
    const auto start = std::chrono::steady_clock::now();
    constexpr int batch = 64;
    for (long long produced = 0; produced < totalValues;) {
        for (std::size_t kind = 0; kind < table.size() && produced < totalValues; ++kind) {
            const auto kindStart = std::chrono::steady_clock::now();
            for (int repeat = 0; repeat < batch; ++repeat) {
                const std::string value = table[kind].draw(faker);
                bytes += value.size();
                emptyValues += value.empty();
            }
            secondsPerKind[kind] +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - kindStart).count();
            valuesPerKind[kind] += batch;
            produced += batch;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    long long produced = 0;
    for (const long long count : valuesPerKind) {
        produced += count;
    }

    std::printf("sham values: %zu kinds, %lld values in %.3f s\n", table.size(), produced, seconds);
    std::printf("  values per second: %.0f (target 500000)\n", static_cast<double>(produced) / seconds);
    std::printf("  mean value length: %.1f bytes; empty values: %zu\n",
                static_cast<double>(bytes) / static_cast<double>(produced), emptyValues);

    std::vector<std::size_t> order(table.size());
    for (std::size_t index = 0; index < order.size(); ++index) {
        order[index] = index;
    }
    std::sort(order.begin(), order.end(), [&](std::size_t left, std::size_t right) {
        return secondsPerKind[left] / static_cast<double>(valuesPerKind[left]) >
               secondsPerKind[right] / static_cast<double>(valuesPerKind[right]);
    });
    std::printf("  slowest kinds (ns per value):\n");
    for (std::size_t rank = 0; rank < 5 && rank < order.size(); ++rank) {
        const std::size_t kind = order[rank];
        std::printf("    %-36.*s %8.0f\n", static_cast<int>(table[kind].name.size()), table[kind].name.data(),
                    secondsPerKind[kind] / static_cast<double>(valuesPerKind[kind]) * 1e9);
    }
    return emptyValues == 0 ? 0 : 1;
}
