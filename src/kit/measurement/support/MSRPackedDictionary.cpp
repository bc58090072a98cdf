#include "kit/measurement/support/MSRPackedDictionary.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace kit::measurement {

using platform::Value;

namespace {

// One byte of kind before each value; lengths and counts as base-128
// numbers, lowest seven bits first; numbers and dates as their eight bytes.
enum class Kind : char { null, falseValue, trueValue, integer, real, text, data, date, array, dictionary };

void putCount(std::string& out, std::size_t count) {
    while (count >= 0x80) {
        out.push_back(static_cast<char>((count & 0x7f) | 0x80));
        count >>= 7;
    }
    out.push_back(static_cast<char>(count));
}

template <typename Number>
void putNumber(std::string& out, Number number) {
    char bytes[sizeof number];
    std::memcpy(bytes, &number, sizeof number);
    out.append(bytes, sizeof number);
}

void putText(std::string& out, std::string_view text) {
    putCount(out, text.size());
    out.append(text);
}

void putKind(std::string& out, Kind kind) { out.push_back(static_cast<char>(kind)); }

void putDictionary(std::string& out, const Value::Dictionary& dictionary);

void putValue(std::string& out, const Value& value) {
    if (value.isBool()) {
        putKind(out, *value.asBool() ? Kind::trueValue : Kind::falseValue);
    } else if (value.isInteger()) {
        putKind(out, Kind::integer);
        putNumber(out, *value.asInteger());
    } else if (value.isDouble()) {
        putKind(out, Kind::real);
        putNumber(out, *value.asDouble());
    } else if (const std::string* text = value.asString()) {
        putKind(out, Kind::text);
        putText(out, *text);
    } else if (const Value::Data* data = value.asData()) {
        putKind(out, Kind::data);
        putText(out, std::string_view(reinterpret_cast<const char*>(data->data()), data->size()));
    } else if (const Value::Date* date = value.asDate()) {
        putKind(out, Kind::date);
        putNumber(out, static_cast<std::int64_t>(date->time_since_epoch().count()));
    } else if (const Value::Array* array = value.asArray()) {
        putKind(out, Kind::array);
        putCount(out, array->size());
        for (const Value& item : *array) {
            putValue(out, item);
        }
    } else if (const Value::Dictionary* dictionary = value.asDictionary()) {
        putKind(out, Kind::dictionary);
        putDictionary(out, *dictionary);
    } else {
        putKind(out, Kind::null);
    }
}

void putDictionary(std::string& out, const Value::Dictionary& dictionary) {
    putCount(out, dictionary.size());
    for (const auto& [key, value] : dictionary) {
        putText(out, key);
        putValue(out, value);
    }
}

// Reads back what the functions above wrote; the bytes never come from
// outside the process.
class Reader {
public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    Value::Dictionary dictionary() {
        Value::Dictionary result;
        for (std::size_t count = this->count(); count > 0; --count) {
            std::string key(text());
            result.emplace_hint(result.end(), std::move(key), value());
        }
        return result;
    }

private:
    std::size_t count() {
        std::size_t result = 0;
        for (int shift = 0;; shift += 7) {
            const auto byte = static_cast<unsigned char>(bytes_[position_++]);
            result |= static_cast<std::size_t>(byte & 0x7f) << shift;
            if ((byte & 0x80) == 0) {
                return result;
            }
        }
    }

    std::string_view text() {
        const std::size_t size = count();
        const std::string_view result = bytes_.substr(position_, size);
        position_ += size;
        return result;
    }

    template <typename Number>
    Number number() {
        Number result;
        std::memcpy(&result, bytes_.data() + position_, sizeof result);
        position_ += sizeof result;
        return result;
    }

    Value value() {
        switch (static_cast<Kind>(bytes_[position_++])) {
        case Kind::null:
            return Value();
        case Kind::falseValue:
            return Value(false);
        case Kind::trueValue:
            return Value(true);
        case Kind::integer:
            return Value(number<std::int64_t>());
        case Kind::real:
            return Value(number<double>());
        case Kind::text:
            return Value(std::string(text()));
        case Kind::data: {
            const std::string_view bytes = text();
            return Value(Value::Data(bytes.begin(), bytes.end()));
        }
        case Kind::date:
            return Value(Value::Date(std::chrono::microseconds(number<std::int64_t>())));
        case Kind::array: {
            const std::size_t size = count();
            Value::Array array;
            array.reserve(size);
            for (std::size_t index = 0; index < size; ++index) {
                array.push_back(value());
            }
            return Value(std::move(array));
        }
        case Kind::dictionary:
            return Value(dictionary());
        }
        return Value();
    }

    std::string_view bytes_;
    std::size_t position_ = 0;
};

}  // namespace

MSRPackedDictionary::MSRPackedDictionary(const Value::Dictionary& dictionary) {
    if (!dictionary.empty()) {
        putDictionary(bytes_, dictionary);
        bytes_.shrink_to_fit();
    }
}

Value::Dictionary MSRPackedDictionary::unpack() const {
    if (bytes_.empty()) {
        return {};
    }
    return Reader(bytes_).dictionary();
}

}  // namespace kit::measurement
