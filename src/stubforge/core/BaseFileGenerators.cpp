#include "stubforge/core/SizedWriters.h"

#include "stubforge/core/WriterSupport.h"

#include "stubforge/core/Utils.h"

#include "ResourceFile.h"

#include "stubforge/core/WriterErrors.h"

#include "platform/Error.h"

#include <vector>

namespace stubforge {

namespace fs = std::filesystem;

namespace {

platform::Error generatorError(std::string_view domain, BaseFileGeneratorError code, const std::string& message) {
    return platform::Error(std::string(domain), static_cast<int>(code), message);
}

std::vector<std::byte> readBaseFile(const fs::path& path, std::string_view domain) {
    detail::ResourceFile file(path, "base file", domain, static_cast<int>(BaseFileGeneratorError::baseFileUnreadable));
    std::vector<std::byte> bytes;
    std::byte buffer[65536];
    while (const std::size_t got = file.read(buffer)) {
        bytes.insert(bytes.end(), buffer, buffer + got);
    }
    return bytes;
}

}  // namespace

fs::path closeFileHandle(platform::OutputFile& file) { return file.commit(); }

const BaseFileGenerator* baseFileGenerator(FileExtension extension) {
    for (const BaseFileGenerator* generator : kBaseFileGenerators) {
        if (generator->extension == extension) {
            return generator;
        }
    }
    return nullptr;
}

fs::path BaseFileGenerator::generate(std::string_view sizeText, double sizeInMB,
                                     const GenerationContext& context) const {
    const std::string extensionText(rawValue(extension));
    const detail::SizeErrors sizeErrors{name, static_cast<int>(BaseFileGeneratorError::invalidSizeText),
                                        static_cast<int>(BaseFileGeneratorError::invalidSize)};
    const std::string label = detail::sizeLabel(sizeText, sizeErrors);
    const auto target = static_cast<std::uint64_t>(detail::requireTargetBytes(sizeInMB, sizeErrors));
    const std::string fileName =
        std::string(prefix()) + "_" + label + "MB_" + Utils::timestamp(context.clock()) + "." + extensionText;

    const auto basePath = context.bundle().pathForResource(resourceName(), extensionText);
    if (!basePath) {
        throw generatorError(
            name, BaseFileGeneratorError::baseFileNotFound,
            "Base file '" + std::string(resourceName()) + "." + extensionText + "' not found in bundle.");
    }
    const std::vector<std::byte> base = readBaseFile(*basePath, name);
    if (base.empty()) {
        // An empty base would never grow the file.
        throw generatorError(name, BaseFileGeneratorError::baseFileEmpty,
                             "Base file '" + std::string(resourceName()) + "." + extensionText + "' is empty.");
    }

    const fs::path destination = detail::outputPath(context, fileName);
    platform::OutputFile file(destination, context.cancel());
    file.writeRepeated(base, target);
    return closeFileHandle(file);
}

}  // namespace stubforge
