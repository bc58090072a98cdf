// The committed base files and 3D models. Each must be one whole, valid file of
// its type, and every base file must be small enough that the smallest output
// (0.01 MB) starts with a whole copy. Our own checks walk the structure; the
// real readers, where installed, must accept the file too.

#include "Process.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace stubforge {
namespace {

namespace fs = std::filesystem;
using namespace std::string_view_literals;
using platform::testing::readFile;

constexpr std::size_t kBaseFileLimit = 10'000;
constexpr std::size_t kLargeModelLimit = 5'000'000;
constexpr std::size_t kUsdzAlignment = 64;

fs::path resourceFolder() {
    const char* root = std::getenv("STUBFORGE_SOURCE_DIR");
    if (root == nullptr) {
        throw std::runtime_error("STUBFORGE_SOURCE_DIR is not set");
    }
    return fs::path(root) / "resources";
}

// ---------------------------------------------------------------- bytes

// Malformed files must fail the test, never read past the end: every check
// throws, and gtest reports the exception as a failure.
void require(bool condition, const std::string& message) {
    if (!condition) {
        throw std::runtime_error(message);
    }
}

std::uint64_t readNumber(std::string_view bytes, std::size_t offset, std::size_t width, bool bigEndian) {
    require(offset <= bytes.size() && width <= bytes.size() - offset, "read past the end at " + std::to_string(offset));
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
        const auto byte = static_cast<std::uint8_t>(bytes[offset + (bigEndian ? i : width - 1 - i)]);
        value = (value << 8) | byte;
    }
    return value;
}

std::uint32_t le16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(readNumber(bytes, offset, 2, false));
}
std::uint32_t le32(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(readNumber(bytes, offset, 4, false));
}
std::uint32_t be16(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(readNumber(bytes, offset, 2, true));
}
std::uint32_t be32(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint32_t>(readNumber(bytes, offset, 4, true));
}
std::uint8_t byteAt(std::string_view bytes, std::size_t offset) {
    return static_cast<std::uint8_t>(readNumber(bytes, offset, 1, false));
}

std::string_view slice(std::string_view bytes, std::size_t offset, std::size_t length) {
    require(offset <= bytes.size() && length <= bytes.size() - offset,
            "range past the end at " + std::to_string(offset));
    return bytes.substr(offset, length);
}

constexpr std::array<std::uint32_t, 256> kCrcTable = [] {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < table.size(); ++n) {
        std::uint32_t value = n;
        for (int bit = 0; bit < 8; ++bit) {
            value = (value & 1U) != 0 ? 0xEDB88320U ^ (value >> 1) : value >> 1;
        }
        table[n] = value;
    }
    return table;
}();

std::uint32_t crc32(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFU;
    for (const char byte : bytes) {
        crc = kCrcTable[(crc ^ static_cast<std::uint8_t>(byte)) & 0xFFU] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

bool contains(std::string_view bytes, std::string_view part) { return bytes.find(part) != std::string_view::npos; }

// ---------------------------------------------------------------- containers

struct ZipEntry {
    std::string name;
    std::uint32_t method = 0;
    std::uint32_t crc = 0;
    std::uint32_t compressedSize = 0;
    std::uint32_t size = 0;
    std::size_t dataOffset = 0;
};

// Walks the central directory and checks each local header against it. Kept
// for USDZ only: no reader checks that stored data start on 64-byte bounds.
std::vector<ZipEntry> zipEntries(std::string_view bytes) {
    const std::size_t end = bytes.rfind("PK\x05\x06"sv);
    require(end != std::string_view::npos && end + 22 == bytes.size(), "no end record at the end of the archive");
    const std::uint32_t count = le16(bytes, end + 10);
    std::size_t central = le32(bytes, end + 16);
    std::vector<ZipEntry> entries;
    for (std::uint32_t index = 0; index < count; ++index) {
        require(slice(bytes, central, 4) == "PK\x01\x02"sv, "bad central header");
        ZipEntry entry;
        entry.method = le16(bytes, central + 10);
        entry.crc = le32(bytes, central + 16);
        entry.compressedSize = le32(bytes, central + 20);
        entry.size = le32(bytes, central + 24);
        const std::uint32_t nameLength = le16(bytes, central + 28);
        entry.name = std::string(slice(bytes, central + 46, nameLength));
        const std::size_t local = le32(bytes, central + 42);
        require(slice(bytes, local, 4) == "PK\x03\x04"sv, "bad local header of " + entry.name);
        require(slice(bytes, local + 30, le16(bytes, local + 26)) == entry.name, "names differ for " + entry.name);
        entry.dataOffset = local + 30 + le16(bytes, local + 26) + le16(bytes, local + 28);
        slice(bytes, entry.dataOffset, entry.compressedSize);
        central += 46 + nameLength + le16(bytes, central + 30) + le16(bytes, central + 32);
        entries.push_back(std::move(entry));
    }
    require(central == end, "central directory does not reach the end record");
    return entries;
}

// ---------------------------------------------------------------- per-type checks

void checkCsv(std::string_view bytes) {
    require(bytes.ends_with('\n'), "does not end with a newline");
    require(!contains(bytes, "\r"), "carriage return in the text");
    const auto commas = [](std::string_view line) { return std::count(line.begin(), line.end(), ','); };
    const std::string_view header = bytes.substr(0, bytes.find('\n'));
    std::size_t lines = 0;
    for (std::size_t start = 0; start < bytes.size(); ++lines) {
        const std::size_t end = bytes.find('\n', start);
        require(commas(bytes.substr(start, end - start)) == commas(header), "ragged line " + std::to_string(lines + 1));
        start = end + 1;
    }
    require(lines >= 2, "no data rows");
}

void checkPng(std::string_view bytes) {
    require(bytes.starts_with("\x89PNG\r\n\x1a\n"sv), "no PNG signature");
    std::size_t offset = 8;
    std::vector<std::string> kinds;
    while (offset < bytes.size()) {
        const std::uint32_t length = be32(bytes, offset);
        const std::string_view typed = slice(bytes, offset + 4, 4 + length);
        require(crc32(typed) == be32(bytes, offset + 8 + length), "CRC of chunk at " + std::to_string(offset));
        kinds.emplace_back(typed.substr(0, 4));
        offset += 12 + length;
    }
    require(kinds.size() >= 3 && kinds.front() == "IHDR" && kinds.back() == "IEND", "IHDR not first or IEND not last");
    require(std::find(kinds.begin(), kinds.end(), "IDAT") != kinds.end(), "no IDAT");
}

void checkJpeg(std::string_view bytes) {
    require(bytes.starts_with("\xFF\xD8"sv) && bytes.ends_with("\xFF\xD9"sv), "no SOI or EOI");
    std::size_t offset = 2;
    bool baseline = false;
    for (;;) {
        require(byteAt(bytes, offset) == 0xFF, "no marker at " + std::to_string(offset));
        const std::uint8_t marker = byteAt(bytes, offset + 1);
        require(marker != 0xC2, "progressive, not baseline");
        baseline = baseline || marker == 0xC0;
        if (marker == 0xDA) {
            break;
        }
        offset += 2 + be16(bytes, offset + 2);
    }
    require(baseline, "no baseline frame header before the scan");
}

void checkWav(std::string_view bytes) {
    require(bytes.starts_with("RIFF") && slice(bytes, 8, 4) == "WAVE", "no RIFF WAVE header");
    require(le32(bytes, 4) + 8 == bytes.size(), "RIFF size does not match the file");
    std::size_t offset = 12;
    std::uint32_t blockAlign = 0;
    bool sawData = false;
    while (offset < bytes.size()) {
        const std::string_view id = slice(bytes, offset, 4);
        const std::uint32_t size = le32(bytes, offset + 4);
        slice(bytes, offset + 8, size);
        if (id == "fmt ") {
            const std::uint32_t channels = le16(bytes, offset + 10);
            const std::uint32_t rate = le32(bytes, offset + 12);
            blockAlign = le16(bytes, offset + 20);
            require(le16(bytes, offset + 8) == 1 && channels > 0, "not PCM");
            require(blockAlign == channels * le16(bytes, offset + 22) / 8, "block align");
            require(le32(bytes, offset + 16) == rate * blockAlign, "byte rate");
        } else if (id == "data") {
            require(blockAlign != 0 && size > 0 && size % blockAlign == 0, "data before fmt, empty or ragged");
            sawData = true;
        }
        offset += 8 + size + (size & 1U);
    }
    require(offset == bytes.size() && sawData, "chunks do not fill the RIFF size");
}

void checkMp3(std::string_view bytes) {
    // Frames all the way: no tag, no encoder header frame, nothing an encoder
    // would leave behind, so that repeated copies stay one stream.
    for (const auto mark : {"ID3"sv, "TAG"sv, "Xing"sv, "Info"sv, "LAME"sv}) {
        require(!contains(bytes, mark), "holds " + std::string(mark));
    }
}

void checkMp4(std::string_view bytes) {
    std::size_t offset = 0;
    std::vector<std::string> boxes;
    while (offset < bytes.size()) {
        const std::uint32_t size = be32(bytes, offset);
        require(size >= 8, "box size at " + std::to_string(offset));
        boxes.emplace_back(slice(bytes, offset + 4, 4));
        slice(bytes, offset, size);
        offset += size;
    }
    require(!boxes.empty() && boxes.front() == "ftyp", "ftyp is not first");
    for (const auto* box : {"moov", "mdat"}) {
        require(std::find(boxes.begin(), boxes.end(), box) != boxes.end(), std::string("no ") + box);
    }
}

// Containers and office packages: unzip, bsdtar and the package reader walk
// them; only the magic number is ours to check.
void noStructureOfOurOwn(std::string_view) {}

// The text between "= [" and "]" of an attribute such as "int[] faceVertexCounts".
std::string_view usdaList(std::string_view text, std::string_view attribute) {
    const std::size_t at = text.find(attribute);
    require(at != std::string_view::npos, "no " + std::string(attribute));
    const std::size_t open = text.find("= [", at);
    const std::size_t close = text.find(']', open);
    require(open != std::string_view::npos && close != std::string_view::npos, "no list for " + std::string(attribute));
    return text.substr(open + 3, close - open - 3);
}

std::vector<long> usdaIntegers(std::string_view text, std::string_view attribute) {
    const std::string list(usdaList(text, attribute));
    std::vector<long> values;
    const char* cursor = list.c_str();
    for (;;) {
        char* next = nullptr;
        values.push_back(std::strtol(cursor, &next, 10));
        require(next != cursor, "not an integer in " + std::string(attribute));
        if (*next != ',') {
            require(*next == '\0', "stray text in " + std::string(attribute));
            return values;
        }
        cursor = next + 1;
    }
}

// USDZ: stored entries whose data start on 64-byte boundaries, a .usda first,
// holding a mesh whose faces index its own points.
void checkUsdz(std::string_view bytes) {
    const auto entries = zipEntries(bytes);
    require(!entries.empty() && entries.front().name.ends_with(".usda"), "first entry is not a .usda");
    for (const auto& entry : entries) {
        require(entry.method == 0 && entry.compressedSize == entry.size, entry.name + " is compressed");
        require(entry.dataOffset % kUsdzAlignment == 0, entry.name + " is not 64-byte aligned");
        require(crc32(slice(bytes, entry.dataOffset, entry.size)) == entry.crc, "CRC of " + entry.name);
    }
    const std::string_view usda = slice(bytes, entries.front().dataOffset, entries.front().size);
    require(usda.starts_with("#usda 1.0\n"), "no #usda 1.0 header");
    for (const auto key : {"defaultPrim = \""sv, "upAxis = \""sv, "def Mesh \""sv}) {
        require(contains(usda, key), "no " + std::string(key));
    }
    const auto counts = usdaIntegers(usda, "int[] faceVertexCounts");
    const auto indices = usdaIntegers(usda, "int[] faceVertexIndices");
    const std::string_view points = usdaList(usda, "point3f[] points");
    const auto pointCount = std::count(points.begin(), points.end(), '(');
    long corners = 0;
    for (const long count : counts) {
        require(count >= 3, "a face with fewer than three corners");
        corners += count;
    }
    require(!counts.empty() && corners == static_cast<long>(indices.size()),
            "face counts do not add up to the indices");
    for (const long index : indices) {
        require(index >= 0 && index < pointCount, "index " + std::to_string(index) + " outside the points");
    }
}

// ---------------------------------------------------------------- readers

using platform::testing::CommandResult;
using platform::testing::shellQuote;
using platform::testing::toolInstalled;

CommandResult runCommand(const std::string& command) { return platform::testing::runCommand(command); }

// Every part is XML, has a content type and exists where a relationship
// points, and the package's main part has the expected content type.
constexpr std::string_view kOfficePackageReader = R"(
import posixpath, sys, zipfile, xml.etree.ElementTree as ET
package = zipfile.ZipFile(sys.argv[1])
names = set(package.namelist())
CT = "{http://schemas.openxmlformats.org/package/2006/content-types}"
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}Relationship"
types = ET.fromstring(package.read("[Content_Types].xml"))
defaults = {item.get("Extension"): item.get("ContentType") for item in types.iter(CT + "Default")}
overrides = {item.get("PartName"): item.get("ContentType") for item in types.iter(CT + "Override")}
for part in overrides:
    if part[1:] not in names: sys.exit("content type for a missing part " + part)
def content_type(name):
    return overrides.get("/" + name) or defaults.get(name.rsplit(".", 1)[-1])
main = None
for name in sorted(names):
    root = ET.fromstring(package.read(name))
    if content_type(name) is None: sys.exit("no content type for " + name)
    if not name.endswith(".rels"): continue
    source_folder = posixpath.dirname(posixpath.dirname(name))
    for relation in root.iter(REL):
        if relation.get("TargetMode") == "External": continue
        target = posixpath.normpath(posixpath.join(source_folder, relation.get("Target"))).lstrip("/")
        if target not in names: sys.exit(name + " points at a missing " + target)
        if name == "_rels/.rels" and relation.get("Type").endswith("/officeDocument"): main = target
if main is None or not content_type(main).endswith(sys.argv[2]): sys.exit("main part type " + str(main))
)";

constexpr std::string_view kCsvReader = R"(
import csv, sys
with open(sys.argv[1], newline="") as text:
    rows = list(csv.reader(text, strict=True))
if len(rows) < 2 or any(len(row) != len(rows[0]) for row in rows): sys.exit("ragged or empty")
)";

enum class Verdict {
    ExitZero,            // the exit status alone
    Silent,              // exit 0 and no output
    ProbedCodec,         // one line, "codec,frames" with the expected codec
    NoDecoderComplaint,  // exit 0 and no error, resync or skip notes
};

struct Reader {
    std::string tool;
    std::string arguments;  // "{}" stands for the quoted file path
    Verdict verdict = Verdict::ExitZero;
    std::string codec;
};

Reader probe(std::string codec) {
    return {"ffprobe", "-v error -count_frames -show_entries stream=codec_name,nb_read_frames -of csv=p=0 {}",
            Verdict::ProbedCodec, std::move(codec)};
}

Reader officeReader(std::string mainType) {
    return {"python3", "-c " + shellQuote(kOfficePackageReader) + " {} " + mainType, Verdict::Silent, ""};
}

void expectAccepted(const Reader& reader, const fs::path& file, const CommandResult& result) {
    const std::string context = reader.tool + " on " + file.filename().string() + ":\n" + result.output;
    switch (reader.verdict) {
    case Verdict::ExitZero:
        EXPECT_EQ(result.exitCode, 0) << context;
        break;
    case Verdict::Silent:
        EXPECT_EQ(result.exitCode, 0) << context;
        EXPECT_EQ(result.output, "") << context;
        break;
    case Verdict::ProbedCodec: {
        EXPECT_EQ(result.exitCode, 0) << context;
        const auto lineEnd = result.output.find('\n');
        EXPECT_EQ(lineEnd + 1, result.output.size()) << "more than one line: " << context;
        EXPECT_TRUE(result.output.starts_with(reader.codec + ",")) << context;
        break;
    }
    case Verdict::NoDecoderComplaint:
        EXPECT_EQ(result.exitCode, 0) << context;
        for (const auto* complaint : {"error", "Illegal", "resync", "Skipped"}) {
            EXPECT_FALSE(contains(result.output, complaint)) << context;
        }
        break;
    }
}

std::string withPath(std::string arguments, const fs::path& file) {
    const std::size_t at = arguments.find("{}");
    return arguments.replace(at, 2, shellQuote(file.string()));
}

// ---------------------------------------------------------------- table

using StructureCheck = void (*)(std::string_view);

struct BaseFileCase {
    std::string name;
    std::size_t magicAt;
    std::string_view magic;
    std::size_t limit;
    StructureCheck check;
    std::vector<Reader> readers;
};

const Reader kUnzip{"unzip", "-tq {}", Verdict::ExitZero, ""};
const Reader kMpg123{"mpg123", "-t {}", Verdict::NoDecoderComplaint, ""};

const std::vector<BaseFileCase>& baseFileCases() {
    static const std::vector<BaseFileCase> cases = {
        {"document.docx",
         0,
         "PK\x03\x04"sv,
         kBaseFileLimit,
         noStructureOfOurOwn,
         {kUnzip, officeReader("wordprocessingml.document.main+xml")}},
        {"document.xlsx",
         0,
         "PK\x03\x04"sv,
         kBaseFileLimit,
         noStructureOfOurOwn,
         {kUnzip, officeReader("spreadsheetml.sheet.main+xml")}},
        {"document.pptx",
         0,
         "PK\x03\x04"sv,
         kBaseFileLimit,
         noStructureOfOurOwn,
         {kUnzip, officeReader("presentationml.presentation.main+xml")}},
        {"document.csv",
         0,
         "id,"sv,
         kBaseFileLimit,
         checkCsv,
         {{"python3", "-c " + shellQuote(kCsvReader) + " {}", Verdict::Silent, ""}}},
        {"audio.wav", 0, "RIFF"sv, kBaseFileLimit, checkWav, {probe("pcm_s16le")}},
        {"audio.mp3", 0, "\xFF\xFB"sv, kBaseFileLimit, checkMp3, {probe("mp3"), kMpg123}},
        {"video.mp4", 4, "ftyp"sv, kBaseFileLimit, checkMp4, {probe("h264")}},
        {"image.png", 0, "\x89PNG"sv, kBaseFileLimit, checkPng, {{"pngcheck", "-q {}", Verdict::Silent, ""}}},
        {"image.jpg", 0, "\xFF\xD8\xFF"sv, kBaseFileLimit, checkJpeg, {probe("mjpeg")}},
        {"archive.zip", 0, "PK\x03\x04"sv, kBaseFileLimit, noStructureOfOurOwn, {kUnzip}},
        {"archive.rar",
         0,
         "Rar!\x1a\x07\x00"sv,
         kBaseFileLimit,
         noStructureOfOurOwn,
         {{"bsdtar", "-tf {}", Verdict::ExitZero, ""}}},
        {"3D_model_small.usdz", 0, "PK\x03\x04"sv, kBaseFileLimit, checkUsdz, {kUnzip}},
        {"3D_model_large.usdz", 0, "PK\x03\x04"sv, kLargeModelLimit, checkUsdz, {kUnzip}},
    };
    return cases;
}

void PrintTo(const BaseFileCase& item, std::ostream* stream) { *stream << item.name; }

class BaseFileTest : public ::testing::TestWithParam<BaseFileCase> {};

TEST_P(BaseFileTest, IsOneWholeFileOfItsType) {
    const BaseFileCase& item = GetParam();
    const std::string bytes = readFile(resourceFolder() / item.name);
    ASSERT_FALSE(bytes.empty()) << item.name << " is missing or empty";
    EXPECT_LE(bytes.size(), item.limit);
    EXPECT_EQ(bytes.substr(item.magicAt, item.magic.size()), item.magic) << "magic number";
    item.check(bytes);
}

TEST_P(BaseFileTest, RealReadersAcceptIt) {
    const BaseFileCase& item = GetParam();
    const fs::path file = resourceFolder() / item.name;
    ASSERT_TRUE(fs::exists(file));
    for (const auto& reader : item.readers) {
        // ./dev setup installs every reader; a missing one is a broken set-up, not a pass.
        ASSERT_TRUE(toolInstalled(reader.tool)) << reader.tool << " is not installed";
        expectAccepted(reader, file, runCommand(reader.tool + " " + withPath(reader.arguments, file)));
    }
}

std::string caseName(const ::testing::TestParamInfo<BaseFileCase>& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)) == 0) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Committed, BaseFileTest, ::testing::ValuesIn(baseFileCases()), caseName);

// ---------------------------------------------------------------- across copies

// The frame count ffprobe reads from the file: "mp3,<frames>".
long probedMp3Frames(const fs::path& file) {
    const CommandResult result = runCommand("ffprobe " + withPath(probe("mp3").arguments, file));
    EXPECT_EQ(result.exitCode, 0) << result.output;
    EXPECT_TRUE(result.output.starts_with("mp3,")) << result.output;
    return result.output.starts_with("mp3,") ? std::strtol(result.output.c_str() + 4, nullptr, 10) : -1;
}

TEST(BaseFilesTest, RepeatedMp3StaysOneFrameStream) {
    ASSERT_TRUE(toolInstalled("ffprobe") && toolInstalled("mpg123")) << "ffprobe or mpg123 is not installed";
    const fs::path singleFile = resourceFolder() / "audio.mp3";
    const platform::testing::TemporaryDirectory folder;
    const fs::path file = folder.path() / "twice.mp3";
    const std::string single = readFile(singleFile);
    platform::testing::writeFile(file, single + single);
    const long frames = probedMp3Frames(singleFile);
    EXPECT_GT(frames, 0);
    EXPECT_EQ(probedMp3Frames(file), 2 * frames);
    expectAccepted(kMpg123, file, runCommand("mpg123 " + withPath(kMpg123.arguments, file)));
}

TEST(BaseFilesTest, RarEntriesExtract) {
    ASSERT_TRUE(toolInstalled("bsdtar")) << "bsdtar is not installed";
    const fs::path file = resourceFolder() / "archive.rar";
    const CommandResult listed = runCommand("bsdtar -tf " + shellQuote(file.string()));
    ASSERT_EQ(listed.exitCode, 0) << listed.output;
    ASSERT_FALSE(listed.output.empty());
    std::size_t start = 0;
    for (std::size_t end = 0; (end = listed.output.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string name = listed.output.substr(start, end - start);
        const CommandResult extracted = runCommand("bsdtar -xOf " + shellQuote(file.string()) + " " + shellQuote(name));
        EXPECT_EQ(extracted.exitCode, 0) << name << ": " << extracted.output;
        EXPECT_FALSE(extracted.output.empty()) << name;
    }
}

TEST(BaseFilesTest, LargeModelIsAFinerMeshOfAFewMegabytes) {
    const auto small = fs::file_size(resourceFolder() / "3D_model_small.usdz");
    const auto large = fs::file_size(resourceFolder() / "3D_model_large.usdz");
    EXPECT_LT(small, large);
    EXPECT_GE(large, 1'000'000U);
}

}  // namespace
}  // namespace stubforge
