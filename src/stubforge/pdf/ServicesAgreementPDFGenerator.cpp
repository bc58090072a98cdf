#include "AgreementTexts.h"
#include "B2BFonts.h"
#include "DocumentText.h"
#include "Documents.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"

#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;
namespace texts = agreement_texts;

namespace b2b_fonts {

namespace {
constinit StaticFontSlot titleSlot;
constinit StaticFontSlot headingSlot;
constinit StaticFontSlot numberedHeadingSlot;
constinit StaticFontSlot bodySlot;
constinit StaticFontSlot boldSlot;
constinit StaticFontSlot footerSlot;
}  // namespace

const graphics::Font& title() { return makeStaticFont(FontWeight::bold, 24, titleSlot); }
const graphics::Font& heading() { return makeStaticFont(FontWeight::bold, 18, headingSlot); }
const graphics::Font& numberedHeading() { return makeStaticFont(FontWeight::bold, 16, numberedHeadingSlot); }
const graphics::Font& body() { return makeStaticFont(FontWeight::regular, 12, bodySlot); }
const graphics::Font& bold() { return makeStaticFont(FontWeight::bold, 12, boldSlot); }
const graphics::Font& footer() { return makeStaticFont(systemFont(FontWeight::regular, 10).asItalic(), footerSlot); }

graphics::ParagraphStyle titleParagraph() {
    graphics::ParagraphStyle paragraph;
    paragraph.alignment = graphics::Alignment::center;
    paragraph.paragraphSpacing = 12;
    return paragraph;
}

graphics::ParagraphStyle bodyParagraph() {
    graphics::ParagraphStyle paragraph;
    paragraph.alignment = graphics::Alignment::justified;
    paragraph.lineSpacing = 4;
    paragraph.paragraphSpacing = 8;
    return paragraph;
}

}  // namespace b2b_fonts

namespace {

constexpr int kEffectiveDaysAgo = 30;

std::string pageOf(std::size_t page, std::size_t pageCount) {
    return std::string(texts::kPageWord) + std::to_string(page) + std::string(texts::kOfWord) +
           std::to_string(pageCount);
}

graphics::AttributedText section(std::string_view heading, std::string_view body,
                                 const graphics::ParagraphStyle& paragraph, std::string_view ending) {
    graphics::AttributedText text(std::string(heading) + " ", textStyle(b2b_fonts::bold(), paragraph));
    text.append(std::string(body) + std::string(ending), textStyle(b2b_fonts::body(), paragraph));
    return text;
}

}  // namespace

graphics::AttributedText PDFB2BContractGenerator::makeSection(std::string_view heading, std::string_view body) {
    graphics::ParagraphStyle paragraph = b2b_fonts::bodyParagraph();
    paragraph.headIndent = 0;
    return section(heading, body, paragraph, "\n\n");
}

graphics::AttributedText PDFB2BContractGenerator::makeSubsection(std::string_view heading, std::string_view body) {
    graphics::ParagraphStyle paragraph = b2b_fonts::bodyParagraph();
    paragraph.headIndent = 30;
    paragraph.firstLineHeadIndent = 30;
    paragraph.paragraphSpacing = 6;
    return section(heading, body, paragraph, "\n");
}

std::span<const std::string_view> PDFB2BContractGenerator::deliverablesForService(std::string_view service) {
    for (const texts::ServiceDeliverables& entry : texts::kDeliverables) {
        if (entry.service == service) {
            return entry.items;
        }
    }
    return texts::kDefaultDeliverables;
}

PDFB2BContractGenerator::Data PDFB2BContractGenerator::buildData(ContentSize size, const GenerationContext& context) {
    sham::Faker faker = makeFaker(context);
    platform::RandomSource& random = context.random();
    Data data;
    data.size = size;
    data.firstPartyName = faker.company().name();
    data.secondPartyName = faker.company().name();
    data.firstPartyAddress = fakeAddressLine(faker, true);
    data.secondPartyAddress = fakeAddressLine(faker, true);
    data.effectiveDate =
        platform::format::date(faker.date().daysAgo(kEffectiveDaysAgo), platform::format::DateStyle::longStyle);
    const auto signatures = [&] {
        data.first.signature = drawSignatureImage(random, kSignatureSize.width, kSignatureSize.height);
        data.second.signature = drawSignatureImage(random, kSignatureSize.width, kSignatureSize.height);
    };
    if (size == ContentSize::small) {
        data.termMonths = texts::kTermMonths[randomIntBelow(random, texts::kTermMonths.size())];
        data.service = std::string(texts::kServiceCatalogue[randomIntBelow(random, texts::kServiceCatalogue.size())]);
        data.monthlyFee = wholeDollars(faker.number().randomInt(5, 50) * 1000);
        data.firstPartyState = faker.address().state();
        data.secondPartyState = faker.address().state();
        data.governingState = faker.address().state();
        signatures();
        data.first.name = faker.name().name();
        data.first.title = faker.name().title();
        data.second.name = faker.name().name();
        data.second.title = faker.name().title();
    } else {
        data.governingState = faker.address().state();
        data.firstPartyState = faker.address().state();
        data.secondPartyState = faker.address().state();
        data.arbitrationCity = faker.address().city();
        signatures();
        data.first.name = faker.name().name();
        data.first.email = faker.internet().email();
        data.second.name = faker.name().name();
        data.second.email = faker.internet().email();
    }
    data.identifier = std::string(texts::kIdentifierPrefix) + std::to_string(faker.number().randomInt(100000, 999999));
    return data;
}

graphics::AttributedText PDFB2BContractGenerator::buildServicesAgreement(const Data& data) {
    using namespace b2b_fonts;
    const graphics::TextStyle titleStyle = textStyle(title(), titleParagraph());
    const graphics::TextStyle headingStyle = textStyle(heading(), titleParagraph());
    const graphics::TextStyle bodyStyle = textStyle(body(), bodyParagraph());
    const graphics::TextStyle boldBodyStyle = textStyle(bold(), bodyParagraph());
    const graphics::TextStyle boldOnly = textStyle(bold());
    const graphics::TextStyle regularOnly = textStyle(body());

    graphics::AttributedText text(texts::kServicesTitle, titleStyle);
    text.append(std::string(texts::kServicesOpening) + data.effectiveDate + std::string(texts::kServicesOpeningAfter),
                bodyStyle);
    text.append(data.firstPartyName, boldOnly);
    text.append(std::string(texts::kCorporationOf) + data.firstPartyState + std::string(texts::kPrincipalPlace) +
                    data.firstPartyAddress + std::string(texts::kClientRole),
                bodyStyle);
    text.append(data.secondPartyName, boldOnly);
    text.append(std::string(texts::kCorporationOf) + data.secondPartyState + std::string(texts::kPrincipalPlace) +
                    data.secondPartyAddress + std::string(texts::kProviderRole),
                bodyStyle);
    text.append(texts::kRecitals, headingStyle);
    text.append(std::string(texts::kServicesWhereasBefore) + lowercase(data.service) +
                    std::string(texts::kServicesWhereasAfter),
                bodyStyle);
    text.append(texts::kServicesWhereasProvider, bodyStyle);
    text.append(texts::kServicesConsideration, bodyStyle);

    text.append(makeSection(texts::kServicesHeading,
                            std::string(texts::kServicesBefore) + data.service + std::string(texts::kServicesAfter)));
    text.append(makeSection(texts::kTermSectionHeading, std::string(texts::kTermSectionBefore) +
                                                            std::to_string(data.termMonths) +
                                                            std::string(texts::kTermSectionAfter)));
    text.append(makeSection(texts::kFeeHeading,
                            std::string(texts::kFeeBefore) + data.monthlyFee + std::string(texts::kFeeAfter)));
    for (const texts::Clause& item : texts::kServicesSections) {
        text.append(makeSection(item.heading, item.body));
    }
    text.append(makeSection(texts::kGeneralProvisions, ""));
    text.append(makeSubsection(
        texts::kSubGoverningLawHeading,
        std::string(texts::kSubGoverningLawBefore) + data.governingState + std::string(texts::kSubGoverningLawAfter)));
    for (const texts::Clause& item : texts::kGeneralSubsections) {
        text.append(makeSubsection(item.heading, item.body));
    }

    text.append(texts::kServicesWitness, bodyStyle);
    text.append(texts::kClientLabel, boldOnly);
    text.appendAttachment(signatureAttachment(data.first.signature, kSignatureSize), regularOnly);
    text.append(std::string(texts::kSignedBy) + data.first.name + std::string(texts::kSignedTitle) + data.first.title +
                    std::string(texts::kSignedDate) + data.effectiveDate + "\n\n\n",
                regularOnly);
    text.append(texts::kProviderLabel, boldOnly);
    text.appendAttachment(signatureAttachment(data.second.signature, kSignatureSize), regularOnly);
    text.append(std::string(texts::kSignedBy) + data.second.name + std::string(texts::kSignedTitle) +
                    data.second.title + std::string(texts::kSignedDate) + data.effectiveDate + "\n\n",
                regularOnly);

    text.append(texts::kStatementOfWork, headingStyle);
    text.append(texts::kServicesToProvide, boldBodyStyle);
    int number = 1;
    for (const std::string_view item : deliverablesForService(data.service)) {
        text.append(std::to_string(number++) + ". " + std::string(item) + "\n", bodyStyle);
    }
    return text;
}

graphics::AttributedText PDFB2BContractGenerator::buildMasterServicesAgreement(const Data& data) {
    using namespace b2b_fonts;
    const graphics::TextStyle titleStyle = textStyle(title(), titleParagraph());
    const graphics::TextStyle headingStyle = textStyle(heading(), titleParagraph());
    const graphics::TextStyle bodyStyle = textStyle(body(), bodyParagraph());
    const graphics::TextStyle boldOnly = textStyle(bold());
    const graphics::TextStyle regularOnly = textStyle(body());

    graphics::AttributedText text(texts::kMasterTitle, titleStyle);
    text.append(std::string(texts::kMasterOpening) + data.effectiveDate + std::string(texts::kMasterOpeningAfter),
                bodyStyle);
    text.append(data.firstPartyName, boldOnly);
    text.append(std::string(texts::kCorporationA) + data.firstPartyState + std::string(texts::kCompanyRole),
                regularOnly);
    text.append(data.secondPartyName, boldOnly);
    text.append(std::string(texts::kCorporationA) + data.secondPartyState + std::string(texts::kVendorRole),
                regularOnly);
    text.append(texts::kRecitals, headingStyle);
    for (const std::string_view recital : texts::kMasterRecitals) {
        text.append(recital, bodyStyle);
    }

    const auto sections = [&text](std::span<const texts::Clause> table) {
        for (const texts::Clause& item : table) {
            text.append(makeSection(item.heading, item.body));
        }
    };
    const std::span<const texts::Clause> articles[] = {
        texts::kDefinitions,
        texts::kServicesArticle,
        texts::kCompensationArticle,
        texts::kIntellectualPropertyArticle,
        texts::kConfidentialityArticle,
        texts::kWarrantiesArticle,
        texts::kIndemnificationArticle,
        texts::kLiabilityArticle,
        texts::kTermArticle,
    };
    for (std::size_t article = 0; article < std::size(articles); ++article) {
        text.append(texts::kArticleHeadings[article], headingStyle);
        sections(articles[article]);
    }
    text.append(texts::kArticleHeadings.back(), headingStyle);
    text.append(makeSection(texts::kIndependentContractor.heading, texts::kIndependentContractor.body));
    text.append(makeSection(texts::kMasterGoverningLawHeading, std::string(texts::kMasterGoverningLawBefore) +
                                                                   data.governingState +
                                                                   std::string(texts::kMasterGoverningLawAfter)));
    text.append(makeSection(texts::kDisputeHeading, std::string(texts::kDisputeBefore) + data.arbitrationCity + ", " +
                                                        data.governingState + "."));
    sections(texts::kClosingProvisions);

    text.append(texts::kMasterWitness, bodyStyle);
    const auto signatureBlock = [&](std::string_view label, const std::string& party, const Signatory& signer,
                                    std::string_view signerTitle, const std::string& address, std::string_view end) {
        text.append(label, boldOnly);
        text.append(party + "\n\n", regularOnly);
        text.appendAttachment(signatureAttachment(signer.signature, kSignatureSize), regularOnly);
        text.append(std::string(texts::kSignedBy) + signer.name + std::string(signerTitle) + data.effectiveDate +
                        std::string(texts::kSignedAddress) + address + std::string(texts::kSignedEmail) + signer.email +
                        std::string(end),
                    regularOnly);
    };
    signatureBlock(texts::kCompanyLabel, data.firstPartyName, data.first, texts::kCompanySignerTitle,
                   data.firstPartyAddress, "\n\n\n");
    signatureBlock(texts::kVendorLabel, data.secondPartyName, data.second, texts::kVendorSignerTitle,
                   data.secondPartyAddress, "\n\n");
    text.append(buildServiceLevelExhibit());
    return text;
}

std::vector<std::byte> PDFB2BContractGenerator::renderDocument(const Data& data, const GenerationContext& context) {
    const AgreementPageLayout layout{
        {50, 50}, {512, 642}, {50, 712, 256, 30}, {306, 712, 256, 30}, b2b_fonts::footer(),
    };
    const PageSetup setup{graphics::pageSizes::usLetter, graphics::Origin::topLeft};
    return renderPDFDocument(setup, context, [&](DocumentPages& pages) {
        drawAgreementPages(
            pages, data.size == ContentSize::small ? buildServicesAgreement(data) : buildMasterServicesAgreement(data),
            layout, std::string(texts::kServicesFooter) + data.identifier + ")", pageOf);
    });
}

fs::path PDFB2BContractGenerator::generateDocument(const fs::path& destination, ContentSize size,
                                                   const GenerationContext& context) {
    const std::vector<std::byte> pdf = renderDocument(buildData(size, context), context);
    return writePDFData(destination, pdf, context);
}

}  // namespace stubforge
