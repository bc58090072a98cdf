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

template <typename Option>
struct OptionCase {
    Option value;
    std::string_view rawValue;
};

// One table per option, in declaration order.
template <typename Option>
struct OptionTable;

template <>
struct OptionTable<ContentType> {
    static constexpr std::array<OptionCase<ContentType>, 9> cases{{
        {ContentType::dummy, "Dummy"},
        {ContentType::contract, "Contract"},
        {ContentType::invoice, "Invoice"},
        {ContentType::meeting_notes, "Meeting Notes"},
        {ContentType::b2b_contract, "B2B Contract"},
        {ContentType::receipt, "Receipt"},
        {ContentType::fund_portfolio, "Fund Portfolio"},
        {ContentType::cv, "CV"},
        {ContentType::pitch_deck, "Pitch Deck"},
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
    static constexpr std::array<OptionCase<FileExtension>, 16> cases{{
        {FileExtension::pdf, "pdf"},
        {FileExtension::txt, "txt"},
        {FileExtension::json, "json"},
        {FileExtension::pptx, "pptx"},
        {FileExtension::xlsx, "xlsx"},
        {FileExtension::docx, "docx"},
        {FileExtension::jpg, "jpg"},
        {FileExtension::png, "png"},
        {FileExtension::mp3, "mp3"},
        {FileExtension::wav, "wav"},
        {FileExtension::mp4, "mp4"},
        {FileExtension::csv, "csv"},
        {FileExtension::zip, "zip"},
        {FileExtension::rar, "rar"},
        {FileExtension::usdz, "usdz"},
        {FileExtension::showAll, "all"},
    }};
};

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
std::string_view caseName(ContentType type);

// The symbol name shown beside a file kind. The window maps these names to
// the icons it ships.
std::string_view iconName(FileExtension extension);

// A file kind's identity in lists: its raw value.
constexpr std::string_view id(FileExtension extension) { return rawValue(extension); }

}  // namespace stubforge
