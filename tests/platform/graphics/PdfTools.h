#pragma once

// Reads our PDFs back with poppler-utils and qpdf.

#include "Process.h"
#include "TestSupport.h"

#include <cstddef>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace graphics_test {

// A fresh folder under the system temporary folder, removed on destruction.
class TemporaryFolder : public platform::testing::TemporaryDirectory {
public:
    std::filesystem::path write(const std::string& name, std::span<const std::byte> bytes) const;
};

using platform::testing::CommandResult;

inline CommandResult run(const std::string& command) { return platform::testing::runCommand(command); }
inline std::string quoted(const std::filesystem::path& path) { return platform::testing::shellQuote(path.string()); }

// One word of `pdftotext -bbox`, in points from the page's top-left corner.
struct Word {
    int page = 0;  // from 0
    std::string text;
    double xMin = 0;
    double yMin = 0;
    double xMax = 0;
    double yMax = 0;
};

std::vector<Word> wordsOf(const std::filesystem::path& pdf);

// The words of `page` whose text contains `text`.
std::vector<Word> find(const std::vector<Word>& words, const std::string& text, int page = -1);

// pdftotext of one page (from 1), plain reading order.
std::string pageText(const std::filesystem::path& pdf, int page);

struct FontInfo {
    std::string name;
    bool embedded = false;
    bool subset = false;
};

std::vector<FontInfo> fontsOf(const std::filesystem::path& pdf);

// pdfinfo's "Key: value" lines as they stand; `-box` adds the page boxes.
std::string infoOf(const std::filesystem::path& pdf, const std::string& options = "");

// A page rendered by pdftoppm at 72 dpi in grey (one byte per pixel), so
// that a pixel is a point.
struct GrayImage {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> pixels;
    unsigned char at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

GrayImage renderGray(const std::filesystem::path& pdf, int page, const std::filesystem::path& folder);

}  // namespace graphics_test
