#include "platform/Value.h"

#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include <plist/plist.h>
#include <nlohmann/json.hpp>

#include <cerrno>
#include <charconv>
#include <limits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace platform {

namespace {

using Json = nlohmann::json;

// Plist dates count from 2001-01-01T00:00:00Z.
constexpr std::int64_t kPlistEpochOffsetSeconds = 978307200;

// Arrays and dictionaries nest at most this deep; deeper input is refused
// before our recursive converters (or libplist's) could run out of stack.
constexpr int kMaxNesting = 512;

constexpr const char* kDateOutOfRange = "cannot be stored in a property list: dates run from 1932-12-13 to 2069-01-19";
constexpr const char* kTextWithNul = "Text containing a NUL character cannot be stored in a property list";
constexpr const char* kTooDeep = "Arrays and dictionaries nested too deeply for a property list";

// Thrown by the converters below when the input nests deeper than kMaxNesting.
struct TooDeep {};

// Whole seconds since the plist epoch (rounded down) and the microseconds left.
std::pair<std::int64_t, std::int64_t> plistSeconds(const Value::Date& date) {
    const auto micros = date.time_since_epoch().count() - kPlistEpochOffsetSeconds * 1000000;
    auto seconds = micros / 1000000;
    auto rest = micros % 1000000;
    if (rest < 0) {
        rest += 1000000;
        seconds -= 1;
    }
    return {seconds, rest};
}

// libplist keeps dates in 32-bit seconds and texts as C strings: a value it
// would silently wrap or cut is refused before anything is built.
void checkStorableInPlist(const Value& value, int depth) {
    if ((value.isArray() || value.isDictionary()) && depth > kMaxNesting) {
        throw Error(ValueError::nestedTooDeeply, kTooDeep);
    }
    if (const auto* text = value.asString()) {
        if (text->find('\0') != std::string::npos) {
            throw Error(ValueError::textWithNul, kTextWithNul);
        }
    } else if (const auto* date = value.asDate()) {
        const std::int64_t seconds = plistSeconds(*date).first;
        if (seconds < INT32_MIN || seconds > INT32_MAX) {
            throw Error(ValueError::dateOutOfRange,
                        "The date " + iso8601(*date, IsoFraction::microsecondsWhenPresent) + " " + kDateOutOfRange);
        }
    } else if (const auto* array = value.asArray()) {
        for (const auto& item : *array) {
            checkStorableInPlist(item, depth + 1);
        }
    } else if (const auto* dictionary = value.asDictionary()) {
        for (const auto& [key, item] : *dictionary) {
            if (item.isNull()) {
                continue;  // left out of the file
            }
            if (key.find('\0') != std::string::npos) {
                throw Error(ValueError::textWithNul, kTextWithNul);
            }
            checkStorableInPlist(item, depth + 1);
        }
    }
}

// The deepest nesting of <array> and <dict> elements in XML text, counted
// until it passes `limit`. Comments, CDATA, declarations and processing
// instructions are skipped; self-closing elements do not nest.
int xmlNestingDepth(std::string_view xml, int limit) {
    constexpr std::pair<std::string_view, std::string_view> kSkipped[] = {
        {"<!--", "-->"}, {"<![CDATA[", "]]>"}, {"<?", "?>"}, {"<!", ">"}};
    int depth = 0;
    int deepest = 0;
    std::size_t i = 0;
    while ((i = xml.find('<', i)) != std::string_view::npos) {
        bool skipped = false;
        for (const auto& [open, close] : kSkipped) {
            if (xml.substr(i).starts_with(open)) {
                const std::size_t end = xml.find(close, i + open.size());
                i = end == std::string_view::npos ? xml.size() : end + close.size();
                skipped = true;
                break;
            }
        }
        if (skipped) {
            continue;
        }
        const std::size_t end = xml.find('>', i);
        if (end == std::string_view::npos) {
            break;
        }
        std::string_view tag = xml.substr(i + 1, end - i - 1);
        i = end + 1;
        const bool closing = tag.starts_with('/');
        const bool selfClosing = !closing && tag.ends_with('/');
        if (closing) {
            tag.remove_prefix(1);
        }
        const std::size_t nameEnd = tag.find_first_of(" \t\r\n/");
        const std::string_view name = tag.substr(0, nameEnd);
        if (name != "array" && name != "dict") {
            continue;
        }
        if (closing) {
            depth = std::max(0, depth - 1);
        } else if (!selfClosing) {
            deepest = std::max(deepest, ++depth);
            if (deepest > limit) {
                break;
            }
        }
    }
    return deepest;
}

struct PlistDeleter {
    void operator()(plist_t node) const { plist_free(node); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

bool isBinaryPlist(std::string_view bytes) { return bytes.starts_with("bplist00"); }

// A big-endian unsigned number of `size` bytes at `at`; false when it does
// not fit in the bytes.
bool readBigEndian(std::string_view bytes, std::uint64_t at, unsigned size, std::uint64_t& out) {
    if (size == 0 || size > 8 || at > bytes.size() || bytes.size() - at < size) {
        return false;
    }
    out = 0;
    for (unsigned i = 0; i < size; ++i) {
        out = (out << 8) | static_cast<unsigned char>(bytes[at + i]);
    }
    return true;
}

// Guards libplist 2.2, which crashes on binary input nesting deep, re-expanding shared objects or holding NUL text.
bool binaryPlistIsSafe(std::string_view bytes, int limit) {
    constexpr std::size_t kTrailer = 32;
    if (bytes.size() < 8 + kTrailer) {
        return false;
    }
    const std::uint64_t trailer = bytes.size() - kTrailer;
    const unsigned offsetSize = static_cast<unsigned char>(bytes[trailer + 6]);
    const unsigned refSize = static_cast<unsigned char>(bytes[trailer + 7]);
    std::uint64_t count = 0, top = 0, table = 0;
    if (!readBigEndian(bytes, trailer + 8, 8, count) || !readBigEndian(bytes, trailer + 16, 8, top) ||
        !readBigEndian(bytes, trailer + 24, 8, table) || offsetSize == 0 || offsetSize > 8 || refSize == 0 ||
        refSize > 8 || count == 0 || top >= count || table > trailer || (trailer - table) / offsetSize < count) {
        return false;
    }
    // Object `index`: its marker's type, and where its contents start and
    // how many items (references, characters or UTF-16 units) they hold.
    struct Contents {
        unsigned type = 0;
        std::uint64_t first = 0, number = 0;
    };
    auto contents = [&](std::uint64_t index, Contents& out) {
        std::uint64_t offset = 0;
        if (!readBigEndian(bytes, table + index * offsetSize, offsetSize, offset) || offset >= trailer) {
            return false;
        }
        const unsigned marker = static_cast<unsigned char>(bytes[offset]);
        out.type = marker >> 4;
        out.first = offset + 1;
        out.number = 0;
        if (out.type != 0x5 && out.type != 0x6 && out.type != 0xA && out.type != 0xC && out.type != 0xD) {
            return true;
        }
        out.number = marker & 0xF;
        if (out.number == 0xF) {
            std::uint64_t sizeMarker = 0;
            if (!readBigEndian(bytes, out.first, 1, sizeMarker) || (sizeMarker >> 4) != 0x1 || (sizeMarker & 0xF) > 3 ||
                !readBigEndian(bytes, out.first + 1, 1u << (sizeMarker & 0xF), out.number)) {
                return false;
            }
            out.first += 1 + (1u << (sizeMarker & 0xF));
        }
        if (out.type == 0x5 || out.type == 0x6) {
            const std::uint64_t unit = out.type == 0x5 ? 1 : 2;
            if (out.number > (trailer - out.first) / unit) {
                return false;
            }
            for (std::uint64_t i = 0; i < out.number; ++i) {
                const std::size_t at = static_cast<std::size_t>(out.first + i * unit);
                if (bytes[at] == '\0' && (unit == 1 || bytes[at + 1] == '\0')) {
                    return false;
                }
            }
            out.number = 0;  // no children
            return true;
        }
        if (out.type == 0xD) {
            out.number *= 2;  // keys, then values
        }
        return out.number <= (trailer - out.first) / refSize;
    };
    // Per object: the depth below it once finished (-1 unvisited, -2 on the
    // current path) and how many values it expands to.
    std::vector<int> below(count, -1);
    std::vector<std::uint64_t> expanded(count, 0);
    const std::uint64_t maxValues = bytes.size();
    struct Frame {
        std::uint64_t index, first, number, next, values;
        int deepest;
    };
    std::vector<Frame> path;
    auto enter = [&](std::uint64_t index) {
        Contents found;
        if (!contents(index, found)) {
            return false;
        }
        if (found.number == 0) {
            below[index] = 0;  // a leaf or an empty container: checked by the caller
            expanded[index] = 1;
            return true;
        }
        below[index] = -2;
        path.push_back(Frame{index, found.first, found.number, 0, 1, 0});
        return true;
    };
    if (!enter(top)) {
        return false;
    }
    while (!path.empty()) {
        if (static_cast<int>(path.size()) > limit) {
            return false;
        }
        Frame& frame = path.back();
        if (frame.next == frame.number) {
            below[frame.index] = frame.deepest + 1;
            expanded[frame.index] = frame.values;
            const std::uint64_t finished = frame.index;
            path.pop_back();
            if (!path.empty()) {
                path.back().deepest = std::max(path.back().deepest, below[finished]);
                path.back().values += expanded[finished];
                if (path.back().values > maxValues) {
                    return false;
                }
            }
            continue;
        }
        std::uint64_t child = 0;
        if (!readBigEndian(bytes, frame.first + frame.next * refSize, refSize, child) || child >= count) {
            return false;
        }
        ++frame.next;
        if (below[child] == -2) {
            return false;  // a loop
        }
        if (below[child] == -1) {
            const std::size_t before = path.size();
            if (!enter(child)) {
                return false;
            }
            if (path.size() > before) {
                continue;
            }
        }
        Frame& parent = path.back();
        if (static_cast<int>(path.size()) + below[child] > limit) {
            return false;
        }
        parent.deepest = std::max(parent.deepest, below[child]);
        parent.values += expanded[child];
        if (parent.values > maxValues) {
            return false;
        }
    }
    return below[top] <= limit && expanded[top] <= maxValues;
}

// The value must have passed checkStorableInPlist.
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
        const auto [seconds, rest] = plistSeconds(*date);
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

Value fromPlistNode(plist_t node, int depth) {
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
    case PLIST_STRING: {
        // Read with its length: plist_get_string_val asserts on a NUL inside.
        uint64_t length = 0;
        const char* text = plist_get_string_ptr(node, &length);
        return Value(text != nullptr ? std::string(text, length) : std::string());
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
        const std::int64_t total = (static_cast<std::int64_t>(seconds) + kPlistEpochOffsetSeconds) * 1000000 + micros;
        return Value(Value::Date(std::chrono::microseconds(total)));
    }
    case PLIST_ARRAY: {
        if (depth >= kMaxNesting) {
            throw TooDeep{};
        }
        Value::Array array;
        const uint32_t count = plist_array_get_size(node);
        for (uint32_t i = 0; i < count; ++i) {
            array.push_back(fromPlistNode(plist_array_get_item(node, i), depth + 1));
        }
        return Value(std::move(array));
    }
    case PLIST_DICT: {
        if (depth >= kMaxNesting) {
            throw TooDeep{};
        }
        Value::Dictionary dictionary;
        plist_dict_iter iterator = nullptr;
        plist_dict_new_iter(node, &iterator);
        std::unique_ptr<void, decltype(&std::free)> iteratorOwner(iterator, &std::free);
        while (true) {
            char* key = nullptr;
            plist_t item = nullptr;
            plist_dict_next_item(node, iterator, &key, &item);
            if (key == nullptr) {
                break;
            }
            std::unique_ptr<char, decltype(&std::free)> keyOwner(key, &std::free);
            dictionary.emplace(key, fromPlistNode(item, depth + 1));
        }
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
        const std::uint32_t chunk =
            (data[i] << 16) | (i + 1 < data.size() ? data[i + 1] << 8 : 0) | (i + 2 < data.size() ? data[i + 2] : 0);
        out += kBase64Alphabet[(chunk >> 18) & 63];
        out += kBase64Alphabet[(chunk >> 12) & 63];
        out += i + 1 < data.size() ? kBase64Alphabet[(chunk >> 6) & 63] : '=';
        out += i + 2 < data.size() ? kBase64Alphabet[chunk & 63] : '=';
    }
    return out;
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
        return iso8601(*date, IsoFraction::microsecondsWhenPresent);
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

Value fromJsonNode(const Json& node, int depth) {
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
        if (depth >= kMaxNesting) {
            throw TooDeep{};
        }
        Value::Array array;
        for (const auto& item : node) {
            array.push_back(fromJsonNode(item, depth + 1));
        }
        return Value(std::move(array));
    }
    case Json::value_t::object: {
        if (depth >= kMaxNesting) {
            throw TooDeep{};
        }
        Value::Dictionary dictionary;
        for (auto it = node.begin(); it != node.end(); ++it) {
            dictionary.emplace(it.key(), fromJsonNode(it.value(), depth + 1));
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

namespace {

bool isBlank(char character) {
    return character == ' ' || character == '\t' || character == '\n' || character == '\r' || character == '\f' ||
           character == '\v';
}

bool textAsBool(std::string_view text) {
    std::size_t index = 0;
    while (index < text.size() && isBlank(text[index])) {
        ++index;
    }
    if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
        ++index;
    }
    while (index < text.size() && text[index] == '0') {
        ++index;
    }
    if (index == text.size()) {
        return false;
    }
    const char first = text[index];
    return first == 'Y' || first == 'y' || first == 'T' || first == 't' || (first >= '1' && first <= '9');
}

std::int64_t textAsInteger(std::string_view text) {
    std::size_t index = 0;
    while (index < text.size() && isBlank(text[index])) {
        ++index;
    }
    bool negative = false;
    if (index < text.size() && (text[index] == '+' || text[index] == '-')) {
        negative = text[index] == '-';
        ++index;
    }
    // Accumulate toward the sign's bound so INT64_MIN reads whole.
    std::int64_t result = 0;
    constexpr std::int64_t upper = std::numeric_limits<std::int64_t>::max();
    constexpr std::int64_t lower = std::numeric_limits<std::int64_t>::min();
    for (; index < text.size() && text[index] >= '0' && text[index] <= '9'; ++index) {
        const int digit = text[index] - '0';
        if (negative) {
            if (result < (lower + digit) / 10) {
                return lower;
            }
            result = result * 10 - digit;
        } else {
            if (result > (upper - digit) / 10) {
                return upper;
            }
            result = result * 10 + digit;
        }
    }
    return result;
}

}  // namespace

std::optional<bool> Value::boolValue() const {
    if (const auto* flag = std::get_if<bool>(&storage_)) {
        return *flag;
    }
    if (const auto* number = std::get_if<std::int64_t>(&storage_)) {
        return *number != 0;
    }
    if (const auto* number = std::get_if<double>(&storage_)) {
        return *number != 0.0;
    }
    if (const auto* text = asString()) {
        return textAsBool(*text);
    }
    return std::nullopt;
}

std::optional<std::int64_t> Value::integerValue() const {
    if (const auto* flag = std::get_if<bool>(&storage_)) {
        return *flag ? 1 : 0;
    }
    if (const auto* number = std::get_if<std::int64_t>(&storage_)) {
        return *number;
    }
    if (const auto* number = std::get_if<double>(&storage_)) {
        if (std::isnan(*number)) {
            return 0;
        }
        if (*number >= 9.2233720368547758e18) {
            return std::numeric_limits<std::int64_t>::max();
        }
        if (*number <= -9.2233720368547758e18) {
            return std::numeric_limits<std::int64_t>::min();
        }
        return static_cast<std::int64_t>(*number);
    }
    if (const auto* text = asString()) {
        return textAsInteger(*text);
    }
    return std::nullopt;
}

std::string Value::descriptionText() const {
    if (const auto* text = asString()) {
        return *text;
    }
    if (const auto* flag = std::get_if<bool>(&storage_)) {
        return *flag ? "1" : "0";
    }
    if (const auto* number = std::get_if<std::int64_t>(&storage_)) {
        return std::to_string(*number);
    }
    if (const auto* number = std::get_if<double>(&storage_)) {
        char buffer[64];
        const auto result = std::to_chars(buffer, buffer + sizeof buffer, *number);
        return std::string(buffer, result.ptr);
    }
    return toJson();
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
    checkStorableInPlist(*this, 1);
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
    // libplist builds (and frees) its tree recursively; it must not see
    // input deeper than we accept. Its XML reader passes a NUL character
    // into a string, where its getters assert; XML never holds one.
    if (!isBinaryPlist(bytes) && bytes.find('\0') != std::string_view::npos) {
        return std::nullopt;
    }
    if (!isBinaryPlist(bytes) && xmlNestingDepth(bytes, kMaxNesting) > kMaxNesting) {
        return std::nullopt;
    }
    if (isBinaryPlist(bytes) && !binaryPlistIsSafe(bytes, kMaxNesting)) {
        return std::nullopt;
    }
    plist_t root = nullptr;
    plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &root);
    if (root == nullptr) {
        return std::nullopt;
    }
    PlistPtr owner(root);
    try {
        return fromPlistNode(root, 0);
    } catch (const TooDeep&) {
        return std::nullopt;
    }
}

std::string Value::toJson(int indent) const {
    return toJsonNode(*this).dump(indent, ' ', false, Json::error_handler_t::replace);
}

std::optional<Value> Value::fromJson(std::string_view text) {
    Json node = Json::parse(text, nullptr, false);
    if (node.is_discarded()) {
        return std::nullopt;
    }
    // nlohmann's parser and destructor do not recurse; our converter does.
    try {
        return fromJsonNode(node, 0);
    } catch (const TooDeep&) {
        return std::nullopt;
    }
}

}  // namespace platform
