#include "platform/Value.h"

#include <nlohmann/json.hpp>
#include <plist/plist.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

using Json = nlohmann::json;

// Plist dates count from 2001-01-01T00:00:00Z.
constexpr std::int64_t kPlistEpochOffsetSeconds = 978307200;

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

plist_t toPlistNode(const Value& value) {
    if (auto flag = value.isBool() ? value.asBool() : std::nullopt) {
        return plist_new_bool(*flag ? 1 : 0);
    }
    if (value.isInteger()) {
        const std::int64_t number = *value.asInteger();
        // libplist keeps integers as uint64; negative values round-trip
        // through the two's-complement bits, which its writer prints signed.
        return plist_new_uint(static_cast<std::uint64_t>(number));
    }
    if (value.isDouble()) {
        return plist_new_real(*value.asDouble());
    }
    if (const auto* text = value.asString()) {
        return plist_new_string(text->c_str());
    }
    if (const auto* data = value.asData()) {
        return plist_new_data(reinterpret_cast<const char*>(data->data()), data->size());
    }
    if (const auto* date = value.asDate()) {
        const auto micros = date->time_since_epoch().count() - kPlistEpochOffsetSeconds * 1000000;
        auto seconds = micros / 1000000;
        auto rest = micros % 1000000;
        if (rest < 0) {
            rest += 1000000;
            seconds -= 1;
        }
        return plist_new_date(static_cast<int32_t>(seconds), static_cast<int32_t>(rest));
    }
    if (const auto* array = value.asArray()) {
        plist_t node = plist_new_array();
        for (const auto& item : *array) {
            plist_array_append_item(node, toPlistNode(item));
        }
        return node;
    }
    if (const auto* dictionary = value.asDictionary()) {
        plist_t node = plist_new_dict();
        for (const auto& [key, item] : *dictionary) {
            if (!item.isNull()) {
                plist_dict_set_item(node, key.c_str(), toPlistNode(item));
            }
        }
        return node;
    }
    return plist_new_string("");
}

Value fromPlistNode(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t flag = 0;
        plist_get_bool_val(node, &flag);
        return Value(flag != 0);
    }
    case PLIST_UINT: {
        uint64_t number = 0;
        plist_get_uint_val(node, &number);
        return Value(static_cast<std::int64_t>(number));
    }
    case PLIST_REAL: {
        double number = 0;
        plist_get_real_val(node, &number);
        return Value(number);
    }
    case PLIST_STRING:
    case PLIST_KEY: {
        char* text = nullptr;
        plist_get_string_val(node, &text);
        Value result(std::string(text != nullptr ? text : ""));
        std::free(text);
        return result;
    }
    case PLIST_DATA: {
        char* bytes = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &bytes, &length);
        Value::Data data(reinterpret_cast<std::uint8_t*>(bytes), reinterpret_cast<std::uint8_t*>(bytes) + length);
        std::free(bytes);
        return Value(std::move(data));
    }
    case PLIST_DATE: {
        int32_t seconds = 0;
        int32_t micros = 0;
        plist_get_date_val(node, &seconds, &micros);
        const std::int64_t total =
            (static_cast<std::int64_t>(seconds) + kPlistEpochOffsetSeconds) * 1000000 + micros;
        return Value(Value::Date(std::chrono::microseconds(total)));
    }
    case PLIST_ARRAY: {
        Value::Array array;
        const uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i) {
            array.push_back(fromPlistNode(plist_array_get_item(node, i)));
        }
        return Value(std::move(array));
    }
    case PLIST_DICT: {
        Value::Dictionary dictionary;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        while (true) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (key == nullptr) {
                break;
            }
            dictionary.emplace(key, fromPlistNode(item));
            std::free(key);
        }
        std::free(iterator);
        return Value(std::move(dictionary));
    }
    default:
        return Value();
    }
}

constexpr char kBase64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

std::string base64(const Value::Data& data) {
    std::string out;
    out.reserve((data.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < data.size(); i += 3) {
        const std::uint32_t chunk = (data[i] << 16) | (i + 1 < data.size() ? data[i + 1] << 8 : 0) |
                                    (i + 2 < data.size() ? data[i + 2] : 0);
        out += kBase64Alphabet[(chunk >> 18) & 63];
        out += kBase64Alphabet[(chunk >> 12) & 63];
        out += i + 1 < data.size() ? kBase64Alphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kBase64Alphabet[chunk & 63] : '=';
    }
    return out;
}

std::string isoDate(const Value::Date& date) {
    const auto seconds = std::chrono::floor<std::chrono::seconds>(date);
    const auto micros = (date - seconds).count();
    const std::tm parts = utcTime(std::chrono::system_clock::time_point(seconds));
    char text[48];
    if (micros == 0) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02dZ", parts.tm_year + 1900, parts.tm_mon + 1,
                      parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    } else {
        std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%06lldZ", parts.tm_year + 1900,
                      parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec,
                      static_cast<long long>(micros));
    }
    return text;
}

Json toJsonNode(const Value& value) {
    if (value.isNull()) {
        return nullptr;
    }
    if (value.isBool()) {
        return *value.asBool();
    }
    if (value.isInteger()) {
        return *value.asInteger();
    }
    if (value.isDouble()) {
        const double number = *value.asDouble();
        return std::isfinite(number) ? Json(number) : Json(nullptr);
    }
    if (const auto* text = value.asString()) {
        return *text;
    }
    if (const auto* data = value.asData()) {
        return base64(*data);
    }
    if (const auto* date = value.asDate()) {
        return isoDate(*date);
    }
    if (const auto* array = value.asArray()) {
        Json node = Json::array();
        for (const auto& item : *array) {
            node.push_back(toJsonNode(item));
        }
        return node;
    }
    Json node = Json::object();
    for (const auto& [key, item] : *value.asDictionary()) {
        node[key] = toJsonNode(item);
    }
    return node;
}

Value fromJsonNode(const Json& node) {
    switch (node.type()) {
    case Json::value_t::boolean:
        return Value(node.get<bool>());
    case Json::value_t::number_integer:
        return Value(node.get<std::int64_t>());
    case Json::value_t::number_unsigned: {
        const auto number = node.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(INT64_MAX)) {
            return Value(static_cast<double>(number));
        }
        return Value(static_cast<std::int64_t>(number));
    }
    case Json::value_t::number_float:
        return Value(node.get<double>());
    case Json::value_t::string:
        return Value(node.get<std::string>());
    case Json::value_t::array: {
        Value::Array array;
        for (const auto& item : node) {
            array.push_back(fromJsonNode(item));
        }
        return Value(std::move(array));
    }
    case Json::value_t::object: {
        Value::Dictionary dictionary;
        for (auto it = node.begin(); it != node.end(); ++it) {
            dictionary.emplace(it.key(), fromJsonNode(it.value()));
        }
        return Value(std::move(dictionary));
    }
    default:
        return Value();
    }
}

}  // namespace

std::optional<bool> Value::asBool() const {
    if (const auto* flag = std::get_if<bool>(&storage_)) {
        return *flag;
    }
    return std::nullopt;
}

std::optional<std::int64_t> Value::asInteger() const {
    if (const auto* number = std::get_if<std::int64_t>(&storage_)) {
        return *number;
    }
    if (const auto* number = std::get_if<double>(&storage_)) {
        if (std::isfinite(*number) && std::fabs(*number) < 9.2e18) {
            return static_cast<std::int64_t>(*number);
        }
    }
    return std::nullopt;
}

std::optional<double> Value::asDouble() const {
    if (const auto* number = std::get_if<double>(&storage_)) {
        return *number;
    }
    if (const auto* number = std::get_if<std::int64_t>(&storage_)) {
        return static_cast<double>(*number);
    }
    return std::nullopt;
}

const Value* Value::find(std::string_view key) const {
    const auto* dictionary = asDictionary();
    if (dictionary == nullptr) {
        return nullptr;
    }
    const auto found = dictionary->find(key);
    return found == dictionary->end() ? nullptr : &found->second;
}

std::string Value::toXmlPlist() const {
    PlistPtr root(toPlistNode(*this));
    char* xml = nullptr;
    uint32_t length = 0;
    plist_to_xml(root.get(), &xml, &length);
    std::string text(xml != nullptr ? xml : "", length);
    plist_to_xml_free(xml);
    return text;
}

std::optional<Value> Value::fromPlist(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > UINT32_MAX) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    PlistPtr owner(root);
    return fromPlistNode(root);
}

std::string Value::toJson(int indent) const {
    return toJsonNode(*this).dump(indent, ' ', false, Json::error_handler_t::replace);
}

std::optional<Value> Value::fromJson(std::string_view text) {
    Json node = Json::parse(text, nullptr, false);
    if (node.is_discarded()) {
        return std::nullopt;
    }
    return fromJsonNode(node);
}

}  // namespace platform
