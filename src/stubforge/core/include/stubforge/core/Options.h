#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// The option vocabulary shared by the window, the dispatch and the writers.
// Each option is a closed enumeration with a text raw value; the raw value is
// what the pickers show and what a value is looked up by.
namespace stubforge {

enum class ContentType : std::uint8_t {
    dummy,
    contract,
    invoice,
    meeting_notes,
    b2b_contract,
    receipt,
    fund_portfolio,
    cv,
    pitch_deck,
};

enum class ContentSize : std::uint8_t { small, large };

enum class PDFGenerationMode : std::uint8_t { bySize, byPages };

enum class CSVCriteria : std::uint8_t { bySize, byColumnCount };

enum class FileExtension : std::uint8_t {
    pdf,
    txt,
    json,
    pptx,
    xlsx,
    docx,
    jpg,
    png,
    mp3,
    wav,
    mp4,
    csv,
    zip,
    rar,
    usdz,
    showAll,
};

// One row per case, in declaration order: the raw value the pickers show and
// whatever else a case carries. A new case is its enumerator and its row.
template <typename Option>
struct OptionCase {
    Option value;
    std::string_view rawValue;
};

struct ContentTypeCase {
    ContentType value;
    std::string_view rawValue;
    std::string_view caseName;  // as written in file names
};

struct FileExtensionCase {
    FileExtension value;
    std::string_view rawValue;      // the file name extension, or "all"
    std::string_view iconName;      // the symbol shown beside the kind
    std::string_view categoryWord;  // names sized files; base files are named and looked up by it
};

template <typename Option>
struct OptionTable;

template <>
struct OptionTable<ContentType> {
    static constexpr std::array<ContentTypeCase, 9> cases{{
        {ContentType::dummy, "Dummy", "dummy"},
        {ContentType::contract, "Contract", "contract"},
        {ContentType::invoice, "Invoice", "invoice"},
        {ContentType::meeting_notes, "Meeting Notes", "meeting_notes"},
        {ContentType::b2b_contract, "B2B Contract", "b2b_contract"},
        {ContentType::receipt, "Receipt", "receipt"},
        {ContentType::fund_portfolio, "Fund Portfolio", "fund_portfolio"},
        {ContentType::cv, "CV", "cv"},
        {ContentType::pitch_deck, "Pitch Deck", "pitch_deck"},
    }};
};

template <>
struct OptionTable<ContentSize> {
    static constexpr std::array<OptionCase<ContentSize>, 2> cases{{
        {ContentSize::small, "small"},
        {ContentSize::large, "large"},
    }};
};

template <>
struct OptionTable<PDFGenerationMode> {
    static constexpr std::array<OptionCase<PDFGenerationMode>, 2> cases{{
        {PDFGenerationMode::bySize, "By Size"},
        {PDFGenerationMode::byPages, "By Pages"},
    }};
};

template <>
struct OptionTable<CSVCriteria> {
    static constexpr std::array<OptionCase<CSVCriteria>, 2> cases{{
        {CSVCriteria::bySize, "By Size"},
        {CSVCriteria::byColumnCount, "By Columns"},
    }};
};

template <>
struct OptionTable<FileExtension> {
    static constexpr std::array<FileExtensionCase, 16> cases{{
        {FileExtension::pdf, "pdf", "document", "document"},
        {FileExtension::txt, "txt", "text.page", "document"},
        {FileExtension::json, "json", "doc.plaintext", "document"},
        {FileExtension::pptx, "pptx", "play.rectangle", "document"},
        {FileExtension::xlsx, "xlsx", "chart.bar", "document"},
        {FileExtension::docx, "docx", "pencil", "document"},
        {FileExtension::jpg, "jpg", "photo", "image"},
        {FileExtension::png, "png", "photo", "image"},
        {FileExtension::mp3, "mp3", "speaker.wave.2", "audio"},
        {FileExtension::wav, "wav", "speaker.wave.2", "audio"},
        {FileExtension::mp4, "mp4", "film", "video"},
        {FileExtension::csv, "csv", "doc.plaintext", "document"},
        {FileExtension::zip, "zip", "zipper.page", "archive"},
        {FileExtension::rar, "rar", "zipper.page", "archive"},
        {FileExtension::usdz, "usdz", "cube.transparent", "3D_model"},
        {FileExtension::showAll, "all", "folder", ""},
    }};
};

// The lookups below find a case's row by its position.
template <typename Option>
constexpr bool followsDeclarationOrder() {
    const auto& cases = OptionTable<Option>::cases;
    for (std::size_t index = 0; index < cases.size(); ++index) {
        if (static_cast<std::size_t>(cases[index].value) != index) {
            return false;
        }
    }
    return true;
}
static_assert(followsDeclarationOrder<ContentType>());
static_assert(followsDeclarationOrder<ContentSize>());
static_assert(followsDeclarationOrder<PDFGenerationMode>());
static_assert(followsDeclarationOrder<CSVCriteria>());
static_assert(followsDeclarationOrder<FileExtension>());

template <typename Option>
constexpr std::string_view rawValue(Option option) {
    return OptionTable<Option>::cases[static_cast<std::size_t>(option)].rawValue;
}

// The case whose raw value is exactly `text` (case-sensitive, no trimming).
template <typename Option>
constexpr std::optional<Option> fromRawValue(std::string_view text) {
    for (const auto& entry : OptionTable<Option>::cases) {
        if (entry.rawValue == text) {
            return entry.value;
        }
    }
    return std::nullopt;
}

template <typename Option>
constexpr auto allCases() {
    std::array<Option, OptionTable<Option>::cases.size()> values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = OptionTable<Option>::cases[i].value;
    }
    return values;
}

// The case name of a content type as written in file names ("meeting_notes").
constexpr std::string_view caseName(ContentType type) {
    return OptionTable<ContentType>::cases[static_cast<std::size_t>(type)].caseName;
}

// The symbol name shown beside a file kind. The window maps these names to
// the icons it ships.
constexpr std::string_view iconName(FileExtension extension) {
    return OptionTable<FileExtension>::cases[static_cast<std::size_t>(extension)].iconName;
}

// The word that names a file kind's sized files ("image" for png, …) and its
// base file; empty for showAll.
constexpr std::string_view categoryWord(FileExtension extension) {
    return OptionTable<FileExtension>::cases[static_cast<std::size_t>(extension)].categoryWord;
}

// A file kind's identity in lists: its raw value.
constexpr std::string_view id(FileExtension extension) { return rawValue(extension); }

}  // namespace stubforge
