#include "stubforge/core/WriterSupport.h"

#include "stubforge/core/Sizes.h"
#include "stubforge/core/Utils.h"

#include "platform/Error.h"
#include "platform/ErrorCodes.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <system_error>

namespace stubforge::detail {

namespace fs = std::filesystem;

std::string sizeLabel(std::string_view sizeText, const SizeErrors& errors) {
    if (sizeText.empty() || sizeText.find('/') != std::string_view::npos ||
        sizeText.find('\0') != std::string_view::npos) {
        throw platform::Error(std::string(errors.domain), errors.invalidSizeText,
                              "The size text \"" + std::string(sizeText) + "\" cannot be used in a file name.");
    }
    std::string label(sizeText);
    for (char& c : label) {
        if (c == '.') {
            c = '_';
        }
    }
    return label;
}

std::int64_t requireTargetBytes(double sizeInMB, const SizeErrors& errors) {
    if (const auto bytes = targetByteCount(sizeInMB)) {
        return *bytes;
    }
    char shown[64];
    // Six significant digits, as "%g" shows them.
    const auto written = std::to_chars(shown, shown + sizeof shown, sizeInMB, std::chars_format::general, 6);
    throw platform::Error(std::string(errors.domain), errors.invalidSize,
                          "The size " + std::string(shown, written.ptr) + " MB is not a size between one byte and " +
                              std::to_string(static_cast<long long>(MAX_FILE_SIZE_MB)) + " MB.");
}

fs::path outputPath(const GenerationContext& context, const std::string& fileName) {
    const fs::path folder = Utils::outputFolderURL(context.defaults(), context.log()).folder;
    std::error_code error;
    if (!fs::exists(folder, error)) {
        fs::create_directories(folder, error);
        if (error) {
            throw platform::systemError(platform::OutputFileError::couldNotCreateFolder, "Could not create the folder",
                                        folder, error.value());
        }
    }
    return folder / fileName;
}

}  // namespace stubforge::detail
