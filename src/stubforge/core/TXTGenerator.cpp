#include "stubforge/core/SizedWriters.h"

#include "stubforge/core/WriterSupport.h"

#include "stubforge/core/Utils.h"

#include "stubforge/core/WriterErrors.h"

#include "platform/Error.h"

#include <algorithm>

namespace stubforge {

namespace fs = std::filesystem;

namespace {

constexpr detail::SizeErrors kSizeErrors =
    detail::sizeErrors(TXTGeneratorError::invalidSizeText, TXTGeneratorError::invalidSize);

// The filler goes to the kernel in pieces small enough to stay in the
// processor's cache, each cut from one block of filler at the place where
// the filler stands at that point of the chunk.
constexpr std::size_t kPieceBytes = 256 * 1024;

// `count` bytes of a chunk, the filler starting at the chunk's first byte.
// `block` starts with the filler and holds at least a piece and a filler
// more, or the whole chunk.
void writeFillerChunk(platform::OutputFile& file, std::string_view block, std::uint64_t count) {
    for (std::uint64_t written = 0; written < count;) {
        const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(count - written, kPieceBytes));
        const auto phase = static_cast<std::size_t>(written % kFillerText.size());
        file.write(std::as_bytes(std::span(block.substr(phase, piece))));
        written += piece;
    }
}

// Writes `target` bytes of filler in chunks of at most ten million bytes,
// each chunk starting again at the beginning of the filler text.
fs::path writeFiller(const std::string& fileName, std::string_view sizeText, double sizeInMB,
                     const GenerationContext& context) {
    const auto target = static_cast<std::uint64_t>(detail::requireTargetBytes(sizeInMB, kSizeErrors));
    const fs::path destination = detail::outputPath(context, fileName);
    (void)sizeText;
    try {
        platform::OutputFile file(destination, context.cancel());
        const std::uint64_t chunkSize = std::min<std::uint64_t>(target, kMaximumFillerChunk);
        const std::string block = makeFillerChunk(
            static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, kPieceBytes + kFillerText.size())));
        for (std::uint64_t i = 0; i < target / chunkSize; ++i) {
            writeFillerChunk(file, block, chunkSize);
        }
        // The rest is a chunk of its own, so it too starts with the filler.
        writeFillerChunk(file, block, target % chunkSize);
        return closeFileHandle(file);
    } catch (const platform::Error& error) {
        throw platform::Error(TXTGeneratorError::failedToWriteDataToFile, error.what(), error);
    }
}

}  // namespace

std::string makeFillerChunk(std::size_t count, std::string_view filler) {
    std::string chunk;
    if (filler.empty()) {
        return chunk;
    }
    chunk.reserve(count);
    while (chunk.size() + filler.size() <= count) {
        chunk.append(filler);
    }
    chunk.append(filler.substr(0, count - chunk.size()));
    return chunk;
}

fs::path generateTXTFile(std::string_view sizeText, double sizeInMB, const GenerationContext& context) {
    const std::string label = detail::sizeLabel(sizeText, kSizeErrors);
    const std::string name = "document_" + label + "MB_" + Utils::timestamp(context.clock()) + ".txt";
    return writeFiller(name, sizeText, sizeInMB, context);
}

fs::path generateSizedDummyFile(FileExtension extension, std::string_view sizeText, double sizeInMB,
                                const GenerationContext& context) {
    const std::string label = detail::sizeLabel(sizeText, kSizeErrors);
    const std::string name = std::string(categoryWord(extension)) + "_" + label + "MB_" +
                             Utils::timestamp(context.clock()) + "." + std::string(rawValue(extension));
    return writeFiller(name, sizeText, sizeInMB, context);
}

}  // namespace stubforge
