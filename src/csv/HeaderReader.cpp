#include "csv/HeaderReader.h"

#include "csv/CSVParseError.h"
#include "csv/Messages.h"

#include "Characters.h"
#include "FileReader.h"
#include "Parsing.h"

#include <algorithm>
#include <string_view>

namespace csv {

namespace {

constexpr std::size_t kNoCut = std::string_view::npos;

// Where the bytes read so far can be cut so that every character before the
// cut is whole and will not change with what follows: just after the last
// line feed, or after the last carriage return followed by something other
// than a line feed. A grapheme cluster always ends after either.
std::size_t safeCut(std::string_view bytes) {
    for (std::size_t index = bytes.size(); index-- > 0;) {
        if (bytes[index] == '\n' || (bytes[index] == '\r' && index + 1 < bytes.size())) {
            return index + 1;
        }
    }
    return kNoCut;
}

}  // namespace

HeaderReading readHeader(const ByteSource& source, std::size_t firstChunkBytes, std::size_t maximumBytes) {
    std::string buffer;
    bool more = true;
    std::size_t chunkBytes = std::max<std::size_t>(firstChunkBytes, 1);
    for (;;) {
        if (more) {
            const std::size_t before = buffer.size();
            if (before >= maximumBytes) {
                throw CSVParseError::generic(std::string(messages::kHeaderTooLong));
            }
            // A source that has nothing more to give has reached its end.
            more = source(buffer, std::min(chunkBytes, maximumBytes - before)) && buffer.size() > before;
            // Each read doubles what there is, so the text is parsed again
            // only a logarithmic number of times.
            chunkBytes = std::max(chunkBytes, buffer.size());
        }
        const std::size_t cut = more ? safeCut(buffer) : buffer.size();
        if (cut == kNoCut) {
            continue;
        }
        std::string_view text = std::string_view(buffer).substr(0, cut);
        if (text.starts_with(detail::kByteOrderMark)) {
            text.remove_prefix(detail::kByteOrderMark.size());
        }
        const detail::TextEnd end = more ? detail::TextEnd::partial : detail::TextEnd::complete;
        const std::optional<detail::GuessProgress> guess = detail::guessDelimiter(text, end);
        if (!guess) {
            continue;
        }
        std::vector<std::string> header;
        const detail::ParseProgress progress = detail::parseRows(
            text, guess->delimiter, 0, 1, [&](std::vector<std::string> row) { header = std::move(row); }, end,
            kMaximumHeaderCells, messages::kHeaderTooManyCells);
        if (end == detail::TextEnd::partial && !progress.reachedRowLimit) {
            continue;
        }
        // Guessing may have looked past the header row, at the first line
        // that is not blank; what it looked at must be text too.
        detail::requireUTF8(text.substr(0, std::max(guess->offset, progress.offset)));
        return {std::move(header), guess->delimiter};
    }
}

HeaderReading readHeader(const std::filesystem::path& path) {
    detail::FileReader reader(path);
    return readHeader([&](std::string& buffer, std::size_t count) { return reader.read(buffer, count); });
}

}  // namespace csv
