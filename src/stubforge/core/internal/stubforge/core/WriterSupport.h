#pragma once

#include "stubforge/core/GenerationContext.h"

#include "platform/Error.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Steps every file writer shares, whichever library it lives in. Private to
// the writer libraries (target stubforge_core_internal).
namespace stubforge::detail {

// A writer's domain and its codes for a size it refuses.
struct SizeErrors {
    std::string_view domain;
    int invalidSizeText;
    int invalidSize;
};

template <platform::ErrorCode Code>
constexpr SizeErrors sizeErrors(Code invalidSizeText, Code invalidSize) {
    return {errorDomain(invalidSizeText), static_cast<int>(invalidSizeText), static_cast<int>(invalidSize)};
}

// The size text as it goes into a name: every "." becomes "_". A text that
// could leave the folder (a "/" or NUL) or is empty is refused.
std::string sizeLabel(std::string_view sizeText, const SizeErrors& errors);

// The byte count of a size, refusing non-finite sizes, sizes below one byte
// and sizes above the form's maximum before anything touches the disk.
std::int64_t requireTargetBytes(double sizeInMB, const SizeErrors& errors);

// Resolves the output folder, creates it when missing, and returns the path
// for `fileName` in it. A folder that cannot be created throws
// OutputFileError::couldNotCreateFolder: it is the file's failure, not the
// writer's.
std::filesystem::path outputPath(const GenerationContext& context, const std::string& fileName);

}  // namespace stubforge::detail
