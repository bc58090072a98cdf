#pragma once

#include "csv/CSVDelimiter.h"
#include "csv/CSVParseError.h"
#include "csv/CSVRowParser.h"
#include "csv/Views.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace csv {

// Encodings are named as ICU names them ("UTF-8", "ISO-8859-1",
// "windows-1252", "UTF-16", …).
inline constexpr std::string_view kUTF8 = "UTF-8";

// An immutable CSV document: the header row, the data rows in the view
// `DataView`, and the text and delimiter it was read with. A failed
// construction throws and leaves nothing.
template <CSVView DataView>
class CSV {
public:
    using Row = typename DataView::Row;
    using Columns = typename DataView::Columns;

    // Reads `string` (UTF-8; a leading byte-order mark is dropped) with
    // `delimiter`, keeping at most `rowLimit` data rows when given. Throws
    // CSVParseError for a malformed row anywhere in what is read.
    CSV(std::string string, CSVDelimiter delimiter, bool loadColumns,
        std::optional<std::int64_t> rowLimit = std::nullopt)
        : CSV(Text{std::move(string)}, std::move(delimiter), loadColumns, rowLimit) {}

    // The same with the delimiter guessed from the text.
    CSV(std::string string, bool loadColumns) : CSV(Text{std::move(string)}, std::nullopt, loadColumns, std::nullopt) {}

    // The whole file decoded from `encoding` to UTF-8, then read as above;
    // read and decoding failures throw platform::Error (CSVFileError).
    static CSV fromFile(const std::filesystem::path& path, CSVDelimiter delimiter, std::string_view encoding,
                        bool loadColumns);
    static CSV fromFile(const std::filesystem::path& path, std::string_view encoding, bool loadColumns);

    const std::vector<std::string>& header() const noexcept { return header_; }
    const std::string& text() const noexcept { return text_; }
    const CSVDelimiter& delimiter() const noexcept { return delimiter_; }
    const DataView& content() const noexcept { return content_; }
    const std::vector<Row>& rows() const noexcept { return content_.rows; }
    const std::optional<Columns>& columns() const noexcept { return content_.columns; }

    // The document written back as CSV text (see csv::serialize).
    std::string serialized() const { return content_.serialize(header_, delimiter_); }
    std::string description() const { return serialized(); }
    // serialized() in `encoding`; nothing when a character has no form there.
    std::optional<std::string> serializedData(std::string_view encoding) const;

    // Reads the text again and hands rows from `startAt` on (0 is the
    // header row) to `handler`, as parsed, at most `rowLimit` of them.
    void forEachRowAsArray(std::int64_t startAt, std::optional<std::int64_t> rowLimit,
                           const RowHandler& handler) const {
        CSVRowParser::parse(text_, delimiter_, startAt, rowLimit, handler);
    }

    // The same up to, not including, row `limitTo`; none when it lies
    // before `startAt`.
    void forEachRowAsArrayLimitTo(std::optional<std::int64_t> limitTo, std::int64_t startAt,
                                  const RowHandler& handler) const {
        std::optional<std::int64_t> count;
        if (limitTo) {
            const std::int64_t start = std::max<std::int64_t>(startAt, 0);
            count = *limitTo > start ? *limitTo - start : 0;
        }
        forEachRowAsArray(startAt, count, handler);
    }

    // Every data row keyed by the header, as the Named view keys it.
    template <typename Handler>
    void forEachRowAsDictionary(Handler&& handler) const {
        CSVRowParser::parse(text_, delimiter_, 1, std::nullopt, [&](std::vector<std::string> cells) {
            handler(Named::makeRow(header_, std::move(cells)));
        });
    }

private:
    struct Text {
        std::string value;
    };

    CSV(Text string, std::optional<CSVDelimiter> delimiter, bool loadColumns, std::optional<std::int64_t> rowLimit);

    std::string text_;
    CSVDelimiter delimiter_;
    std::vector<std::string> header_;
    DataView content_;
};

// Defined for these two views only.
extern template class CSV<Enumerated>;
extern template class CSV<Named>;

}  // namespace csv
