#pragma once

#include "sham/Provider.h"

#include "platform/Random.h"
#include "platform/Value.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>

namespace sham {

// Loads the data of a locale (and of "en" as the fallback) and answers dotted
// keys such as "address.city" with texts, expanding '#{Section.key}'
// placeholders. Not safe for use by two threads at once; the loaded data
// itself is shared read-only between parsers.
class Parser {
public:
    using Data = std::map<std::string, std::shared_ptr<const platform::Value>, std::less<>>;

    // Placeholders nested deeper than this expand to nothing, so data that
    // leads back to itself cannot run away.
    static constexpr int maximumTemplateDepth = 16;
    // Depth alone does not stop a value that names itself several times
    // (3^16 expansions for three references), so each top-level fetch or
    // expansion may also expand only so many placeholders and grow its
    // output only so far; placeholders past either limit expand to nothing.
    static constexpr std::size_t maximumPlaceholderExpansions = 4096;
    static constexpr std::size_t maximumExpandedBytes = std::size_t{1} << 20;

    // Reads locale files where `config` says and logs to its sink.
    Parser(std::string_view locale, platform::RandomSource& random, Config config);

    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    const std::string& locale() const { return locale_; }
    // Loads the locale when it differs from the current one.
    void setLocale(std::string_view locale);

    // The text for the key: a text value as it is, or a random element of a
    // list of texts, with placeholders expanded; empty when nothing is found.
    std::string fetch(std::string_view key);
    // The same, appended to `out`.
    void appendFetch(std::string& out, std::string_view key);

    // The raw value for the key in the current locale, else in "en".
    const platform::Value* lookupWithFallback(std::string_view key) const;
    // The raw value for the key in one locale.
    const platform::Value* lookup(std::string_view key, std::string_view locale) const;

    // Expands every placeholder of `text`; unqualified ones resolve in the
    // section `subject`. Text around the placeholders is kept.
    std::string expandTemplate(std::string_view text, std::string_view subject);

    // Appends the text `value` stands for, as fetch would for a key in the
    // section `subject`.
    void appendValue(std::string& out, const platform::Value& value, std::string_view subject);

    // A key's section: its text before the first ".".
    static std::string_view subjectOf(std::string_view key) { return key.substr(0, key.find('.')); }

    // Reads and stores the locale's data; logs the not-found line when the
    // file is missing or holds no data for the locale.
    void loadLocale(std::string_view locale);

    const Data& data() const { return data_; }
    Provider& provider() { return provider_; }
    platform::RandomSource& random() { return random_; }

private:
    // What one top-level fetch or expansion may still spend.
    struct ExpansionBudget {
        std::size_t outputStart = 0;
        std::size_t placeholdersLeft = maximumPlaceholderExpansions;
    };

    void refreshSections();
    void appendValueAtDepth(std::string& out, const platform::Value& value, std::string_view subject, int depth,
                            ExpansionBudget& budget);
    void expandInto(std::string& out, std::string_view text, std::string_view subject, int depth,
                    ExpansionBudget& budget);

    std::string locale_;
    platform::RandomSource& random_;
    Provider provider_;
    Data data_;
    // The "faker" objects of the current locale and of "en", kept at hand so
    // that a lookup does not search `data_` first.
    const platform::Value* localeSections_ = nullptr;
    const platform::Value* fallbackSections_ = nullptr;
};

}  // namespace sham
