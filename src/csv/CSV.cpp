#include "csv/CSV.h"

#include "Characters.h"
#include "Document.h"
#include "FileReader.h"
#include "csv/Messages.h"

#include "platform/Error.h"

#include <unicode/ucnv.h>

#include <array>
#include <cerrno>
#include <memory>
#include <stdexcept>

namespace csv {

namespace detail {

namespace {

struct ConverterCloser {
    void operator()(UConverter* converter) const noexcept { ucnv_close(converter); }
};
using Converter = std::unique_ptr<UConverter, ConverterCloser>;

bool isUTF8(std::string_view encoding) { return ucnv_compareNames(std::string(encoding).c_str(), "UTF-8") == 0; }

// A converter that stops at the first byte sequence or character it cannot
// convert, rather than putting a substitute in its place.
Converter openConverter(std::string_view encoding) {
    UErrorCode status = U_ZERO_ERROR;
    Converter converter(ucnv_open(std::string(encoding).c_str(), &status));
    if (U_FAILURE(status)) {
        throw platform::Error(CSVFileError::unknownEncoding,
                              std::string(messages::kUnknownEncoding) + std::string(encoding),
                              platform::Error(std::string(kICUErrorDomain), status, u_errorName(status)));
    }
    ucnv_setToUCallBack(converter.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    ucnv_setFromUCallBack(converter.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
    return converter;
}

std::optional<std::string> convert(std::string_view bytes, std::string_view from, std::string_view to) {
    const Converter source = openConverter(from);
    const Converter target = openConverter(to);
    std::array<UChar, 4096> pivot{};
    UChar* pivotSource = pivot.data();
    UChar* pivotTarget = pivot.data();
    std::array<char, 64 * 1024> chunk{};
    const char* input = bytes.data();
    std::string output;
    bool reset = true;
    for (;;) {
        char* written = chunk.data();
        UErrorCode status = U_ZERO_ERROR;
        ucnv_convertEx(target.get(), source.get(), &written, chunk.data() + chunk.size(), &input,
                       bytes.data() + bytes.size(), pivot.data(), &pivotSource, &pivotTarget,
                       pivot.data() + pivot.size(), reset, true, &status);
        reset = false;
        output.append(chunk.data(), written);
        if (status == U_BUFFER_OVERFLOW_ERROR) {
            continue;
        }
        if (U_FAILURE(status)) {
            return std::nullopt;
        }
        return output;
    }
}

}  // namespace

std::string preparedText(std::string text) {
    if (text.starts_with(kByteOrderMark)) {
        text.erase(0, kByteOrderMark.size());
    }
    requireUTF8(text);
    return text;
}

std::vector<std::string> parseHeader(std::string_view text, const CSVDelimiter& delimiter) {
    std::vector<std::string> header;
    CSVRowParser::parse(text, delimiter, 0, 1, [&](std::vector<std::string> row) { header = std::move(row); });
    return header;
}

std::string readTextFile(const std::filesystem::path& path, std::string_view encoding) {
    const bool utf8 = isUTF8(encoding);
    if (!utf8) {
        openConverter(encoding);  // an unknown encoding is the caller's fault, not the file's
    }
    std::string bytes = FileReader(path).readAll();
    std::optional<std::string> text;
    if (utf8) {
        if (validUTF8Length(bytes) == bytes.size()) {
            text = std::move(bytes);
        }
    } else {
        text = convert(bytes, encoding, kUTF8);
    }
    if (!text) {
        throw platform::Error(CSVFileError::notInEncoding, std::string(messages::kNotInEncoding) +
                                                               std::string(encoding) + ": \"" + path.string() + "\"");
    }
    return std::move(*text);
}

std::optional<std::string> encodeText(std::string_view text, std::string_view encoding) {
    if (isUTF8(encoding)) {
        return std::string(text);
    }
    return convert(text, kUTF8, encoding);
}

}  // namespace detail

template <CSVView DataView>
CSV<DataView>::CSV(Text string, std::optional<CSVDelimiter> delimiter, bool loadColumns,
                   std::optional<std::int64_t> rowLimit)
    : text_(detail::preparedText(std::move(string.value))),
      delimiter_(delimiter ? std::move(*delimiter) : CSVDelimiter::guessed(text_)),
      header_(detail::parseHeader(text_, delimiter_)),
      content_(header_, text_, delimiter_, loadColumns, rowLimit) {}

template <CSVView DataView>
CSV<DataView> CSV<DataView>::fromFile(const std::filesystem::path& path, CSVDelimiter delimiter,
                                      std::string_view encoding, bool loadColumns) {
    return CSV(detail::readTextFile(path, encoding), std::move(delimiter), loadColumns);
}

template <CSVView DataView>
CSV<DataView> CSV<DataView>::fromFile(const std::filesystem::path& path, std::string_view encoding, bool loadColumns) {
    return CSV(detail::readTextFile(path, encoding), loadColumns);
}

template <CSVView DataView>
std::optional<std::string> CSV<DataView>::serializedData(std::string_view encoding) const {
    return detail::encodeText(serialized(), encoding);
}

template class CSV<Enumerated>;
template class CSV<Named>;

}  // namespace csv
