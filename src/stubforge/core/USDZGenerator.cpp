#include "stubforge/core/SizedWriters.h"

#include "stubforge/core/WriterSupport.h"

#include "stubforge/core/Utils.h"

#include "platform/Error.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <vector>

namespace stubforge {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDomain = "USDZGenerator";
constexpr std::size_t kCopyChunk = 1 << 20;

}  // namespace

fs::path USDZGeneratorType::generate(ContentSize size, const GenerationContext& context) const {
    const std::string form(rawValue(size));
    const std::string fileName = "3D_model_" + form + "_" + Utils::timestamp(context.clock()) + ".usdz";

    const auto model = context.bundle().pathForResource("3D_model_" + form, "usdz");
    if (!model) {
        throw platform::Error(std::string(kDomain), 1, "Base file '3D_model.usdz' not found in bundle.");
    }
    const fs::path destination = detail::outputPath(context, fileName, kDomain);

    std::ifstream source(*model, std::ios::binary);
    if (!source) {
        throw platform::Error(std::string(kDomain), errno,
                              "Could not read \"" + model->string() + "\": " + std::strerror(errno));
    }
    platform::OutputFile file(destination, context.cancel());
    std::vector<char> buffer(kCopyChunk);
    while (source) {
        source.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(source.gcount());
        if (got > 0) {
            file.write(std::as_bytes(std::span(buffer.data(), got)));
        }
    }
    if (source.bad()) {
        throw platform::Error(std::string(kDomain), EIO, "Could not read \"" + model->string() + "\"");
    }
    return closeFileHandle(file);
}

}  // namespace stubforge
