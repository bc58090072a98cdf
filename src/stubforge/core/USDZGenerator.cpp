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

constexpr std::size_t kCopyChunk = 1 << 20;

}  // namespace

fs::path USDZGeneratorType::generate(ContentSize size, const GenerationContext& context) const {
    const std::string form(rawValue(size));
    const std::string fileName = "3D_model_" + form + "_" + Utils::timestamp(context.clock()) + ".usdz";

    const auto model = context.bundle().pathForResource("3D_model_" + form, "usdz");
    if (!model) {
        throw platform::Error(USDZGeneratorError::modelNotFound, "Base file '3D_model.usdz' not found in bundle.");
    }
    const fs::path destination = detail::outputPath(context, fileName);

    detail::ResourceFile source(*model, "model", errorDomain(USDZGeneratorError::modelUnreadable),
                                static_cast<int>(USDZGeneratorError::modelUnreadable));
    platform::OutputFile file(destination, context.cancel());
    std::vector<std::byte> buffer(kCopyChunk);
    while (const std::size_t got = source.read(buffer)) {
        file.write(std::span(buffer.data(), got));
    }
    return closeFileHandle(file);
}

}  // namespace stubforge
