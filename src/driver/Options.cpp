#include "Options.h"

#include <algorithm>
#include <charconv>

namespace driver {

std::optional<Options> Options::parse(std::span<const std::string_view> arguments,
                                      std::span<const std::string_view> known,
                                      std::span<const std::string_view> repeatable,
                                      std::span<const std::string_view> flags, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view name = arguments[i];
        const bool isFlag = std::ranges::find(flags, name) != flags.end();
        const bool isKnown = std::ranges::find(known, name) != known.end();
        const bool isRepeatable = std::ranges::find(repeatable, name) != repeatable.end();
        if (isFlag) {
            options.values_.emplace(std::string(name), "");
            continue;
        }
        if (!isKnown && !isRepeatable) {
            error = "unknown option " + std::string(name);
            return std::nullopt;
        }
        if (i + 1 >= arguments.size()) {
            error = "option " + std::string(name) + " needs a value";
            return std::nullopt;
        }
        if (!isRepeatable && options.has(name)) {
            error = "option " + std::string(name) + " given twice";
            return std::nullopt;
        }
        options.values_.emplace(std::string(name), std::string(arguments[++i]));
    }
    return options;
}

const std::string* Options::get(std::string_view name) const {
    const auto found = values_.find(name);
    return found == values_.end() ? nullptr : &found->second;
}

std::vector<std::string> Options::all(std::string_view name) const {
    std::vector<std::string> found;
    const auto [first, last] = values_.equal_range(name);
    for (auto it = first; it != last; ++it) {
        found.push_back(it->second);
    }
    return found;
}

bool Options::has(std::string_view name) const { return values_.find(name) != values_.end(); }

std::optional<unsigned long long> parseSeed(std::string_view text) {
    unsigned long long value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::unique_ptr<platform::RandomSource>> seededSource(const Options& options) {
    const std::string* text = options.get("--seed");
    if (text == nullptr) {
        return std::unique_ptr<platform::RandomSource>();
    }
    const auto seed = parseSeed(*text);
    if (!seed) {
        return std::nullopt;
    }
    return std::unique_ptr<platform::RandomSource>(std::make_unique<platform::SeededRandom>(*seed));
}

}  // namespace driver
