#include "kit/measurement/support/MSRLumenServiceFileUtil.h"

#include <fstream>
#include <iterator>
#include <string>

namespace kit::measurement {

std::optional<std::filesystem::path> MSRLumenServiceFileUtil::lumenServiceInfoPlistPath(
    const platform::Bundle& bundle) {
    return bundle.pathForResource("LumenService-Info", "plist");
}

std::optional<platform::Value> MSRLumenServiceFileUtil::dictionaryFromLumenServiceInfoPlist(
    const platform::Bundle& bundle) {
    const auto path = lumenServiceInfoPlistPath(bundle);
    if (!path) {
        return std::nullopt;
    }
    std::ifstream file(*path, std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    auto value = file.bad() ? std::nullopt : platform::Value::fromPlist(bytes);
    if (!value || !value->isDictionary()) {
        return std::nullopt;
    }
    return std::move(*value);
}

}  // namespace kit::measurement
