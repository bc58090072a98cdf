#pragma once

// Store receipts made up for tests: DER bytes written here, in the layout the
// receipt scan reads (a signed container whose payload is a SET of
// attributes, each a SEQUENCE of type, version and an OCTET STRING holding
// the value). No real receipt is ever used.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kit::measurement::testing {

using ReceiptBytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t kDERInteger = 0x02;
inline constexpr std::uint8_t kDEROctetString = 0x04;
inline constexpr std::uint8_t kDERUTF8String = 0x0C;
inline constexpr std::uint8_t kDERIA5String = 0x16;
inline constexpr std::uint8_t kDERSequence = 0x30;
inline constexpr std::uint8_t kDERSet = 0x31;

// Tag, length (short form below 128, long form above) and content.
inline ReceiptBytes derEncode(std::uint8_t tag, const ReceiptBytes& content) {
    ReceiptBytes bytes{tag};
    const std::size_t length = content.size();
    if (length < 0x80) {
        bytes.push_back(static_cast<std::uint8_t>(length));
    } else {
        ReceiptBytes lengthBytes;
        for (std::size_t rest = length; rest != 0; rest >>= 8) {
            lengthBytes.insert(lengthBytes.begin(), static_cast<std::uint8_t>(rest & 0xFF));
        }
        bytes.push_back(static_cast<std::uint8_t>(0x80 | lengthBytes.size()));
        bytes.insert(bytes.end(), lengthBytes.begin(), lengthBytes.end());
    }
    bytes.insert(bytes.end(), content.begin(), content.end());
    return bytes;
}

// The content bytes of a non-negative INTEGER: big-endian, shortest, with a
// leading zero where the top bit would make it negative.
inline ReceiptBytes derIntegerContent(std::uint64_t value) {
    ReceiptBytes bytes;
    do {
        bytes.insert(bytes.begin(), static_cast<std::uint8_t>(value & 0xFF));
        value >>= 8;
    } while (value != 0);
    if (bytes.front() & 0x80) {
        bytes.insert(bytes.begin(), 0x00);
    }
    return bytes;
}

inline ReceiptBytes derText(std::string_view text) { return {text.begin(), text.end()}; }

// One receipt attribute: SEQUENCE { INTEGER type, INTEGER version, OCTET
// STRING { value with tag and raw content } }.
inline ReceiptBytes receiptAttribute(std::uint64_t type, std::uint8_t valueTag, const ReceiptBytes& valueContent,
                                     std::uint64_t version = 1) {
    ReceiptBytes content = derEncode(kDERInteger, derIntegerContent(type));
    const ReceiptBytes versionBytes = derEncode(kDERInteger, derIntegerContent(version));
    content.insert(content.end(), versionBytes.begin(), versionBytes.end());
    const ReceiptBytes value = derEncode(kDEROctetString, derEncode(valueTag, valueContent));
    content.insert(content.end(), value.begin(), value.end());
    return derEncode(kDERSequence, content);
}

inline ReceiptBytes utf8Attribute(std::uint64_t type, std::string_view text) {
    return receiptAttribute(type, kDERUTF8String, derText(text));
}
inline ReceiptBytes ia5Attribute(std::uint64_t type, std::string_view text) {
    return receiptAttribute(type, kDERIA5String, derText(text));
}
inline ReceiptBytes integerAttribute(std::uint64_t type, std::uint64_t value) {
    return receiptAttribute(type, kDERInteger, derIntegerContent(value));
}

// One in-app purchase record: attribute 17 whose value is a SET of the
// record's attributes (in the order given).
inline ReceiptBytes purchaseRecord(const std::vector<ReceiptBytes>& attributes) {
    ReceiptBytes set;
    for (const ReceiptBytes& attribute : attributes) {
        set.insert(set.end(), attribute.begin(), attribute.end());
    }
    ReceiptBytes content = derEncode(kDERInteger, {0x11});
    const ReceiptBytes version = derEncode(kDERInteger, {0x01});
    content.insert(content.end(), version.begin(), version.end());
    const ReceiptBytes value = derEncode(kDEROctetString, derEncode(kDERSet, set));
    content.insert(content.end(), value.begin(), value.end());
    return derEncode(kDERSequence, content);
}

// The fields of a purchase record; unset ones are left out of the record.
struct FixturePurchase {
    std::optional<std::string> productID = std::nullopt;
    std::optional<std::string> transactionID = std::nullopt;
    std::optional<std::string> originalTransactionID = std::nullopt;
    std::optional<std::string> purchaseDate = std::nullopt;  // "2026-01-05T15:04:05Z"
    std::optional<std::string> originalPurchaseDate = std::nullopt;
    std::optional<std::string> expirationDate = std::nullopt;
    std::optional<std::string> cancellationDate = std::nullopt;
    std::optional<std::uint64_t> purchaseType = std::nullopt;
    std::optional<std::uint64_t> webOrderLineItemID = std::nullopt;
    std::optional<std::uint64_t> freeTrial = std::nullopt;
    std::optional<std::uint64_t> introductoryOffer = std::nullopt;
};

inline ReceiptBytes purchaseRecord(const FixturePurchase& purchase) {
    std::vector<ReceiptBytes> attributes;
    const auto text = [&](std::uint64_t type, const std::optional<std::string>& value) {
        if (value) {
            attributes.push_back(utf8Attribute(type, *value));
        }
    };
    const auto date = [&](std::uint64_t type, const std::optional<std::string>& value) {
        if (value) {
            attributes.push_back(ia5Attribute(type, *value));
        }
    };
    const auto integer = [&](std::uint64_t type, const std::optional<std::uint64_t>& value) {
        if (value) {
            attributes.push_back(integerAttribute(type, *value));
        }
    };
    integer(1701, 1);  // quantity: not read, but present as in a real record
    text(1702, purchase.productID);
    text(1703, purchase.transactionID);
    date(1704, purchase.purchaseDate);
    text(1705, purchase.originalTransactionID);
    date(1706, purchase.originalPurchaseDate);
    integer(1707, purchase.purchaseType);
    date(1708, purchase.expirationDate);
    integer(1711, purchase.webOrderLineItemID);
    date(1712, purchase.cancellationDate);
    integer(1713, purchase.freeTrial);
    integer(1719, purchase.introductoryOffer);
    return purchaseRecord(attributes);
}

// A whole receipt file: a container with a few attributes of the app
// (bundle ID, version) ahead of the purchase records, and a made-up
// signature after them.
inline ReceiptBytes receiptFile(const std::vector<ReceiptBytes>& purchaseRecords) {
    ReceiptBytes set = utf8Attribute(2, "org.stubforge.fixture");
    const ReceiptBytes version = utf8Attribute(3, "1.0");
    set.insert(set.end(), version.begin(), version.end());
    for (const ReceiptBytes& record : purchaseRecords) {
        set.insert(set.end(), record.begin(), record.end());
    }
    ReceiptBytes payload = derEncode(kDEROctetString, derEncode(kDERSet, set));
    ReceiptBytes signature = derEncode(kDEROctetString, ReceiptBytes(64, 0x5A));
    ReceiptBytes content = derEncode(kDERInteger, {0x01});
    content.insert(content.end(), payload.begin(), payload.end());
    content.insert(content.end(), signature.begin(), signature.end());
    return derEncode(kDERSequence, content);
}

inline ReceiptBytes receiptFileWithPurchases(const std::vector<FixturePurchase>& purchases) {
    std::vector<ReceiptBytes> records;
    for (const FixturePurchase& purchase : purchases) {
        records.push_back(purchaseRecord(purchase));
    }
    return receiptFile(records);
}

inline void writeReceiptFile(const std::filesystem::path& path, const ReceiptBytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

}  // namespace kit::measurement::testing
