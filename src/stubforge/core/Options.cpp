#include "stubforge/core/Options.h"

namespace stubforge {

namespace {

constexpr std::array<std::string_view, 9> kContentTypeCaseNames = {
    "dummy", "contract", "invoice", "meeting_notes", "b2b_contract", "receipt", "fund_portfolio", "cv", "pitch_deck",
};

constexpr std::array<std::string_view, 16> kIconNames = {
    "document",       // pdf
    "text.page",      // txt
    "doc.plaintext",  // json
    "play.rectangle", // pptx
    "chart.bar",      // xlsx
    "pencil",         // docx
    "photo",          // jpg
    "photo",          // png
    "speaker.wave.2", // mp3
    "speaker.wave.2", // wav
    "film",           // mp4
    "doc.plaintext",  // csv
    "zipper.page",    // zip
    "zipper.page",    // rar
    "cube.transparent", // usdz
    "folder",         // showAll
};

}  // namespace

std::string_view caseName(ContentType type) { return kContentTypeCaseNames[static_cast<std::size_t>(type)]; }

std::string_view iconName(FileExtension extension) { return kIconNames[static_cast<std::size_t>(extension)]; }

}  // namespace stubforge
