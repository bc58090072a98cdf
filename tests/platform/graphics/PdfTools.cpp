#include "PdfTools.h"

#include <sys/wait.h>
#include <array>
#include <cstdio>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace graphics_test {

namespace fs = std::filesystem;

fs::path TemporaryFolder::write(const std::string& name, std::span<const std::byte> bytes) const {
    const fs::path file = path() / name;
    std::ofstream stream(file, std::ios::binary);
    stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!stream) {
        throw std::runtime_error("cannot write " + file.string());
    }
    return file;
}

namespace {

std::string checked(const std::string& command) {
    CommandResult result = run(command);
    if (result.exitCode != 0) {
        throw std::runtime_error(command + " failed: " + result.output);
    }
    return result.output;
}

std::string unescape(std::string text) {
    const std::pair<std::string, std::string> entities[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&apos;", "'"}, {"&amp;", "&"}};
    for (const auto& [entity, character] : entities) {
        for (std::size_t at = text.find(entity); at != std::string::npos; at = text.find(entity, at + 1)) {
            text.replace(at, entity.size(), character);
        }
    }
    return text;
}

}  // namespace

std::vector<Word> wordsOf(const fs::path& pdf) {
    const std::string html = checked("pdftotext -bbox " + quoted(pdf) + " -");
    static const std::regex pagePattern(R"(<page )");
    static const std::regex wordPattern(
        R"re(<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
    std::vector<Word> words;
    int page = -1;
    std::istringstream lines(html);
    std::string line;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, pagePattern)) {
            ++page;
        }
        std::smatch match;
        if (std::regex_search(line, match, wordPattern)) {
            words.push_back({page, unescape(match[5]), std::stod(match[1]), std::stod(match[2]), std::stod(match[3]),
                             std::stod(match[4])});
        }
    }
    return words;
}

std::vector<Word> find(const std::vector<Word>& words, const std::string& text, int page) {
    std::vector<Word> found;
    for (const Word& word : words) {
        if ((page < 0 || word.page == page) && word.text.find(text) != std::string::npos) {
            found.push_back(word);
        }
    }
    return found;
}

std::string pageText(const fs::path& pdf, int page) {
    const std::string number = std::to_string(page);
    return checked("pdftotext -f " + number + " -l " + number + " " + quoted(pdf) + " -");
}

std::vector<FontInfo> fontsOf(const fs::path& pdf) {
    const std::string table = checked("pdffonts " + quoted(pdf));
    std::vector<FontInfo> fonts;
    std::istringstream lines(table);
    std::string line;
    int row = 0;
    while (std::getline(lines, line)) {
        if (++row <= 2) {
            continue;  // heading and rule
        }
        // name type [encoding] emb sub uni object ID: the flags are the
        // fifth-, fourth- and third-last fields.
        std::istringstream fields(line);
        std::vector<std::string> parts;
        for (std::string part; fields >> part;) {
            parts.push_back(part);
        }
        if (parts.size() < 7) {
            continue;
        }
        const std::size_t n = parts.size();
        fonts.push_back({parts[0], parts[n - 5] == "yes", parts[n - 4] == "yes"});
    }
    return fonts;
}

std::string infoOf(const fs::path& pdf, const std::string& options) {
    return checked("pdfinfo " + options + " " + quoted(pdf));
}

GrayImage renderGray(const fs::path& pdf, int page, const fs::path& folder) {
    const std::string number = std::to_string(page);
    const fs::path stem = folder / ("render-" + number);
    checked("pdftoppm -gray -r 72 -singlefile -f " + number + " -l " + number + " " + quoted(pdf) + " " + quoted(stem));
    std::ifstream file(stem.string() + ".pgm", std::ios::binary);
    std::string magic;
    int maximum = 0;
    GrayImage image;
    file >> magic >> image.width >> image.height >> maximum;
    file.get();
    if (magic != "P5" || maximum != 255 || image.width <= 0 || image.height <= 0) {
        throw std::runtime_error("unexpected pdftoppm output");
    }
    image.pixels.resize(static_cast<std::size_t>(image.width) * image.height);
    file.read(reinterpret_cast<char*>(image.pixels.data()), static_cast<std::streamsize>(image.pixels.size()));
    if (!file) {
        throw std::runtime_error("short pdftoppm output");
    }
    return image;
}

}  // namespace graphics_test
