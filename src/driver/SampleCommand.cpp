#include "Commands.h"
#include "Options.h"
#include "Output.h"

#include "stubforge/core/ColumnDataType.h"

#include "sham/Faker.h"

#include "platform/Bundle.h"
#include "platform/Clock.h"
#include "platform/Random.h"

#include <nlohmann/json.hpp>

#include <array>
#include <charconv>
#include <memory>
#include <string>

namespace driver {

namespace {

constexpr std::array<std::string_view, 3> kOptions = {"--kind", "--count", "--seed"};
constexpr std::array<std::string_view, 2> kFlags = {"--all-kinds", "--help"};

int refuseUsage(const std::string& problem) {
    complain("stubforge-driver sample: " + problem, 2);
    return usageError("sample");
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
        return refuseUsage(error);
    }
    if (options->has("--help")) {
        return writeResult(usage("sample", true));
    }
    const bool allKinds = options->has("--all-kinds");
    const std::string* kindText = options->get("--kind");
    if (allKinds == (kindText != nullptr)) {
        return refuseUsage("give either --kind or --all-kinds");
    }

    unsigned long long count = 1;
    if (const std::string* countText = options->get("--count")) {
        const auto [end, failure] = std::from_chars(countText->data(), countText->data() + countText->size(), count);
        if (countText->empty() || failure != std::errc() || end != countText->data() + countText->size()) {
            return refuseUsage("--count must be a whole number");
        }
    }
    auto seeded = seededSource(*options);
    if (!seeded) {
        return refuseUsage("--seed must be a whole number");
    }

    std::optional<stubforge::CSVColumnDataType> kind;
    if (kindText != nullptr) {
        kind = stubforge::fromRawValue<stubforge::CSVColumnDataType>(*kindText);
        if (!kind) {
            return complain("Unknown value type \"" + *kindText + "\".", 1);
        }
    }

    sham::Faker faker("en", sham::Config::inResources(platform::Bundle::main().resourcePath()),
                      *seeded ? **seeded : platform::systemRandom(), platform::systemClock());
    const auto kinds = stubforge::allCases<stubforge::CSVColumnDataType>();
    std::string out;
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
            // No point drawing on once the output is lost.
            if (writeResult(out) != 0) {
                return 1;
            }
            out.clear();
        }
    }
    return writeResult(out);
}

}  // namespace driver
