#pragma once

#include "stubforge/core/GenerationContext.h"
#include "stubforge/core/Options.h"
#include "stubforge/core/WriterErrors.h"

#include "platform/OutputFile.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

// Writers of files whose size is asked for in megabytes, and the 3D model
// copier. Each writes one file into the output folder under a timestamped
// name and returns its path; failures throw platform::Error (the codes are
// in WriterErrors.h) and leave no file behind.
namespace stubforge {

// The repeated text of TXT and plain dummy files, and their largest chunk.
inline constexpr std::string_view kFillerText = "- Stubforge -";
inline constexpr std::size_t kMaximumFillerChunk = 10'000'000;

// `count` bytes of `filler` repeated from its first byte.
std::string makeFillerChunk(std::size_t count, std::string_view filler = kFillerText);

// document_<size label>MB_<timestamp>.txt filled with the filler text.
std::filesystem::path generateTXTFile(std::string_view sizeText, double sizeInMB, const GenerationContext& context);

// <category>_<size label>MB_<timestamp>.<extension> filled with the filler text.
std::filesystem::path generateSizedDummyFile(FileExtension extension, std::string_view sizeText, double sizeInMB,
                                             const GenerationContext& context);

// A file of an ordinary type grown to a size by repeating a base file from
// the bundle, the last copy cut short.
struct BaseFileGenerator {
    std::string_view name;    // also the error domain, e.g. "XLSXGenerator"
    FileExtension extension;  // output and base file extension

    // The base file's name without extension, and the output name's prefix.
    constexpr std::string_view resourceName() const { return categoryWord(extension); }
    constexpr std::string_view prefix() const { return categoryWord(extension); }

    std::filesystem::path generate(std::string_view sizeText, double sizeInMB, const GenerationContext& context) const;
};

inline constexpr BaseFileGenerator PPTXGenerator{"PPTXGenerator", FileExtension::pptx};
inline constexpr BaseFileGenerator XLSXGenerator{"XLSXGenerator", FileExtension::xlsx};
inline constexpr BaseFileGenerator DOCXGenerator{"DOCXGenerator", FileExtension::docx};
inline constexpr BaseFileGenerator CSVGenerator{"CSVGenerator", FileExtension::csv};
inline constexpr BaseFileGenerator PNGGenerator{"PNGGenerator", FileExtension::png};
inline constexpr BaseFileGenerator JPGGenerator{"JPGGenerator", FileExtension::jpg};
inline constexpr BaseFileGenerator WAVGenerator{"WAVGenerator", FileExtension::wav};
inline constexpr BaseFileGenerator MP3Generator{"MP3Generator", FileExtension::mp3};
inline constexpr BaseFileGenerator MP4Generator{"MP4Generator", FileExtension::mp4};
inline constexpr BaseFileGenerator ZIPGenerator{"ZIPGenerator", FileExtension::zip};
inline constexpr BaseFileGenerator RARGenerator{"RARGenerator", FileExtension::rar};

inline constexpr std::array<const BaseFileGenerator*, 11> kBaseFileGenerators = {
    &PPTXGenerator, &XLSXGenerator, &DOCXGenerator, &CSVGenerator, &PNGGenerator, &JPGGenerator,
    &WAVGenerator,  &MP3Generator,  &MP4Generator,  &ZIPGenerator, &RARGenerator,
};

// The base-file generator of a file kind, or nullptr.
const BaseFileGenerator* baseFileGenerator(FileExtension extension);

// Copies the small or large 3D model to 3D_model_<form>_<timestamp>.usdz.
struct USDZGeneratorType {
    std::filesystem::path generate(ContentSize size, const GenerationContext& context) const;
};
inline constexpr USDZGeneratorType USDZGenerator{};

// Finishes a writer's file: checks the close and moves it into place,
// returning the final path. Unlike a close that ignores errors, a failure
// here is thrown, so a broken file is never reported as written.
std::filesystem::path closeFileHandle(platform::OutputFile& file);

}  // namespace stubforge
