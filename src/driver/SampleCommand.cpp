#include "Commands.h"
#include "Options.h"

#include "stubforge/core/ColumnDataType.h"

#include "sham/Faker.h"

#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Random.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <cstdio>
#include <memory>
#include <string>

namespace driver {

namespace {

constexpr std::array<std::string_view, 3> kOptions = {"--kind", "--count", "--seed"};
constexpr std::array<std::string_view, 1> kFlags = {"--all-kinds"};

int usage(const std::string& problem) {
    std::fprintf(stderr, "stubforge-driver sample: %s\n", problem.c_str());
    std::fputs("usage: stubforge-driver sample (--kind KIND | --all-kinds) [--count N] [--seed S]\n", stderr);
    return 2;
}

std::string jsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

// sample: values of the column value types as the JSON writer draws them
// (fakeJSONValue), one per line. With --kind, N JSON strings; with
// --all-kinds, each draw goes through every kind in declaration order and
// prints {"kind": raw value, "value": text} per kind. --seed replays a run.
int runSample(std::span<const std::string_view> arguments) {
    std::string error;
    const auto options = Options::parse(arguments, kOptions, {}, kFlags, error);
    if (!options) {
        return usage(error);
    }
    const bool allKinds = options->has("--all-kinds");
    const std::string* kindText = options->get("--kind");
    if (allKinds == (kindText != nullptr)) {
        return usage("give either --kind or --all-kinds");
    }

    unsigned long long count = 1;
    if (const std::string* countText = options->get("--count")) {
        const auto [end, failure] = std::from_chars(countText->data(), countText->data() + countText->size(), count);
        if (countText->empty() || failure != std::errc() || end != countText->data() + countText->size()) {
            return usage("--count must be a whole number");
        }
    }
    auto seeded = seededSource(*options);
    if (!seeded) {
        return usage("--seed must be a whole number");
    }

    std::optional<stubforge::CSVColumnDataType> kind;
    if (kindText != nullptr) {
        kind = stubforge::fromRawValue<stubforge::CSVColumnDataType>(*kindText);
        if (!kind) {
            std::fprintf(stderr, "Unknown value type \"%s\".\n", kindText->c_str());
            return 1;
        }
    }

    sham::Faker faker("en", sham::Config::inResources(platform::Bundle::main().resourcePath()),
                      *seeded ? **seeded : platform::systemRandom(), platform::systemClock());
    const auto kinds = stubforge::allCases<stubforge::CSVColumnDataType>();
    std::string out;
    const auto flush = [&out] {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
    };
    for (unsigned long long draw = 0; draw < count; ++draw) {
        if (kind) {
            out += jsonText(stubforge::fakeJSONValue(*kind, faker));
            out += '\n';
        } else {
            for (const stubforge::CSVColumnDataType each : kinds) {
                nlohmann::json line = nlohmann::json::object();
                line["kind"] = std::string(stubforge::rawValue(each));
                line["value"] = stubforge::fakeJSONValue(each, faker);
                out += jsonText(line);
                out += '\n';
            }
        }
        if (out.size() > (1u << 16)) {
            flush();
        }
    }
    flush();
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace driver
