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

// Writes `target` bytes of filler in chunks of at most ten million bytes,
// each chunk starting again at the beginning of the filler text.
fs::path writeFiller(const std::string& fileName, std::string_view sizeText, double sizeInMB,
                     const GenerationContext& context) {
    const auto target = static_cast<std::uint64_t>(detail::requireTargetBytes(sizeInMB, kSizeErrors));
    const fs::path destination = detail::outputPath(context, fileName);
    (void)sizeText;
    try {
        platform::OutputFile file(destination, context.cancel());
        const std::size_t chunkSize = static_cast<std::size_t>(std::min<std::uint64_t>(target, kMaximumFillerChunk));
        const std::string chunk = makeFillerChunk(chunkSize);
        const std::span<const std::byte> bytes = std::as_bytes(std::span(chunk.data(), chunk.size()));
        for (std::uint64_t i = 0; i < target / chunkSize; ++i) {
            file.write(bytes);
        }
        // The rest is a chunk of its own, so it too starts with the filler:
        // the first bytes of the full chunk.
        if (const std::uint64_t rest = target % chunkSize; rest > 0) {
            file.write(bytes.first(static_cast<std::size_t>(rest)));
        }
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
