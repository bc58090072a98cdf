#pragma once

#include "stubforge/core/GenerationContext.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Steps every file writer shares, whichever library it lives in.
namespace stubforge::detail {

// The size text as it goes into a name: every "." becomes "_". A text that
// could leave the folder (a "/" or NUL) or is empty is refused.
std::string sizeLabel(std::string_view sizeText, std::string_view errorDomain);

// The byte count of a size, refusing non-finite sizes, sizes below one byte
// and sizes above the form's maximum before anything touches the disk.
std::int64_t requireTargetBytes(double sizeInMB, std::string_view errorDomain);

// The domain of failures that belong to the output file or its folder
// rather than to one writer.
inline constexpr std::string_view outputFileErrorDomain = "OutputFile";

// Resolves the output folder, creates it when missing, and returns the path
// for `fileName` in it. A folder that cannot be created throws in
// `outputFileErrorDomain` with the errno as the code.
std::filesystem::path outputPath(const GenerationContext& context, const std::string& fileName);

}  // namespace stubforge::detail
