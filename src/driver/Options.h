#pragma once

#include "platform/Random.h"

#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace driver {

// "--name value" pairs; options named as repeatable may occur many times.
class Options {
public:
    // Nothing, with `error` set, for an unknown option or a missing value.
    static std::optional<Options> parse(std::span<const std::string_view> arguments,
                                        std::span<const std::string_view> known,
                                        std::span<const std::string_view> repeatable,
                                        std::span<const std::string_view> flags, std::string& error);

    const std::string* get(std::string_view name) const;
    std::vector<std::string> all(std::string_view name) const;
    bool has(std::string_view name) const;

private:
    std::multimap<std::string, std::string, std::less<>> values_;
};

// A --seed value: a whole number from 0 to 2^64 - 1.
std::optional<unsigned long long> parseSeed(std::string_view text);

// The source --seed asks for: a seeded one, or null without the option.
// Nothing when the seed is not a whole number.
std::optional<std::unique_ptr<platform::RandomSource>> seededSource(const Options& options);

}  // namespace driver
