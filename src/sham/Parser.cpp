#include "sham/Parser.h"

#include "Texts.h"

#include <array>

namespace sham {

using platform::Value;

namespace {

constexpr bool isAsciiLetter(char character) {
    return (character >= 'A' && character <= 'Z') || (character >= 'a' && character <= 'z');
}

constexpr char asciiLower(char character) {
    return character >= 'A' && character <= 'Z' ? static_cast<char>(character - 'A' + 'a') : character;
}

// A missing or non-object piece before the last ends the walk: "a.missing.b"
// finds nothing rather than "a.b".
const Value* walk(const Value* sections, std::string_view key) {
    if (sections == nullptr) {
        return nullptr;
    }
    const Value* current = sections;
    std::size_t start = 0;
    while (true) {
        const std::size_t dot = key.find('.', start);
        const Value* member = current->find(key.substr(start, dot == std::string_view::npos ? dot : dot - start));
        if (dot == std::string_view::npos) {
            return member;
        }
        if (member == nullptr || !member->isDictionary()) {
            return nullptr;
        }
        current = member;
        start = dot + 1;
    }
}

const Value* sectionsOf(const Parser::Data& data, std::string_view locale) {
    const auto found = data.find(locale);
    if (found == data.end() || !found->second->isDictionary()) {
        return nullptr;
    }
    const Value* sections = found->second->find(texts::sectionsMember);
    return sections != nullptr && sections->isDictionary() ? sections : nullptr;
}

// The key of one placeholder, built without touching the heap for the
// ordinary short keys.
class PlaceholderKey {
public:
    PlaceholderKey(std::string_view section, std::string_view name) {
        const std::size_t length = section.size() + 1 + name.size();
        char* target = buffer_.data();
        if (length > buffer_.size()) {
            overflow_.resize(length);
            target = overflow_.data();
        }
        for (std::size_t index = 0; index < section.size(); ++index) {
            target[index] = asciiLower(section[index]);
        }
        target[section.size()] = '.';
        name.copy(target + section.size() + 1, name.size());
        key_ = std::string_view(target, length);
    }
    PlaceholderKey(const PlaceholderKey&) = delete;
    PlaceholderKey& operator=(const PlaceholderKey&) = delete;

    std::string_view key() const { return key_; }
    // The resolved value's own placeholders use the key's first piece.
    std::string_view subject() const { return Parser::subjectOf(key_); }

private:
    std::array<char, 128> buffer_{};
    std::string overflow_;
    std::string_view key_;
};

}  // namespace

Parser::Parser(std::string_view locale, platform::RandomSource& random, Config config)
    : locale_(locale), random_(random), provider_(std::move(config)) {
    loadLocale(locale_);
    if (locale_ != texts::fallbackLocale) {
        loadLocale(texts::fallbackLocale);
    }
    refreshSections();
}

void Parser::setLocale(std::string_view locale) {
    if (locale == locale_) {
        return;
    }
    locale_ = std::string(locale);
    loadLocale(locale_);
    refreshSections();
}

void Parser::loadLocale(std::string_view locale) {
    const std::shared_ptr<const LocaleFile> file = provider_.localeFile(locale);
    if (file && file->document) {
        if (const auto* top = file->document->asDictionary(); top != nullptr && !top->empty()) {
            if (const Value* member = file->document->find(locale); member != nullptr) {
                data_.insert_or_assign(std::string(locale), std::shared_ptr<const Value>(file, member));
                refreshSections();
                return;
            }
        }
    }
    std::string line(texts::localeNotFoundBefore);
    line += locale;
    line += texts::localeNotFoundAfter;
    provider_.config().log->log(texts::logSubsystem, texts::parserCategory, platform::LogType::error, line);
}

void Parser::refreshSections() {
    localeSections_ = sectionsOf(data_, locale_);
    fallbackSections_ = locale_ != texts::fallbackLocale ? sectionsOf(data_, texts::fallbackLocale) : nullptr;
}

const Value* Parser::lookup(std::string_view key, std::string_view locale) const {
    return walk(sectionsOf(data_, locale), key);
}

const Value* Parser::lookupWithFallback(std::string_view key) const {
    if (const Value* value = walk(localeSections_, key)) {
        return value;
    }
    return walk(fallbackSections_, key);
}

std::string Parser::fetch(std::string_view key) {
    std::string out;
    appendFetch(out, key);
    return out;
}

void Parser::appendFetch(std::string& out, std::string_view key) {
    if (const Value* value = lookupWithFallback(key)) {
        ExpansionBudget budget{.outputStart = out.size()};
        appendValueAtDepth(out, *value, subjectOf(key), 0, budget);
    }
}

void Parser::appendValue(std::string& out, const Value& value, std::string_view subject) {
    ExpansionBudget budget{.outputStart = out.size()};
    appendValueAtDepth(out, value, subject, 0, budget);
}

std::string Parser::expandTemplate(std::string_view text, std::string_view subject) {
    std::string out;
    ExpansionBudget budget;
    expandInto(out, text, subject, 0, budget);
    return out;
}

void Parser::appendValueAtDepth(std::string& out, const Value& value, std::string_view subject, int depth,
                                ExpansionBudget& budget) {
    const std::string* text = value.asString();
    if (text == nullptr) {
        const Value::Array* list = value.asArray();
        if (list == nullptr || list->empty()) {
            return;
        }
        text = (*list)[random_.below(list->size())].asString();
        if (text == nullptr) {
            return;
        }
    }
    if (text->find(texts::templateOpening) != std::string::npos) {
        expandInto(out, *text, subject, depth, budget);
    } else {
        out += *text;
    }
}

// A placeholder is "#{", an optional section of letters with its ".", a
// key of at least one character, and "}". Everything else is copied.
void Parser::expandInto(std::string& out, std::string_view text, std::string_view subject, int depth,
                        ExpansionBudget& budget) {
    std::size_t copied = 0;
    std::size_t searchFrom = 0;
    while (true) {
        const std::size_t open = text.find(texts::templateOpening, searchFrom);
        if (open == std::string_view::npos) {
            break;
        }
        const std::size_t close = text.find('}', open + 2);
        if (close == std::string_view::npos) {
            break;
        }
        if (close == open + 2) {
            searchFrom = open + 1;
            continue;
        }
        const std::string_view inside = text.substr(open + 2, close - open - 2);
        std::size_t letters = 0;
        while (letters < inside.size() && isAsciiLetter(inside[letters])) {
            ++letters;
        }
        std::string_view section = subject;
        std::string_view name = inside;
        if (letters > 0 && letters + 1 < inside.size() && inside[letters] == '.') {
            section = inside.substr(0, letters);
            name = inside.substr(letters + 1);
        }

        out.append(text.substr(copied, open - copied));
        if (depth < maximumTemplateDepth && budget.placeholdersLeft > 0 &&
            out.size() - budget.outputStart < maximumExpandedBytes) {
            --budget.placeholdersLeft;
            const PlaceholderKey key(section, name);
            if (const Value* value = lookupWithFallback(key.key())) {
                appendValueAtDepth(out, *value, key.subject(), depth + 1, budget);
            }
        }
        copied = searchFrom = close + 1;
    }
    out.append(text.substr(copied));
}

}  // namespace sham
