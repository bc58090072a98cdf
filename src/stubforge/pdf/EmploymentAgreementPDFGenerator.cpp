#include "AgreementTexts.h"
#include "DocumentText.h"
#include "Documents.h"

#include "stubforge/core/FakeData.h"

#include "platform/Format.h"

#include <string>

namespace stubforge {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;
namespace texts = agreement_texts;

namespace {

constexpr graphics::Size kPageSize = graphics::pageSizes::a4;
constexpr int kEffectiveDaysAgo = 100;

constinit StaticFontSlot regularSlot;
constinit StaticFontSlot boldSlot;

const graphics::Font& regularFont() { return makeStaticFont(FontWeight::regular, 14, regularSlot); }
// The heading font is the bold form of the body font, at its size.
const graphics::Font& boldFont() { return makeStaticFont(systemFont(FontWeight::bold, regularFont().size), boldSlot); }

graphics::ParagraphStyle bodyParagraph(graphics::Alignment alignment = graphics::Alignment::justified) {
    graphics::ParagraphStyle paragraph;
    paragraph.alignment = alignment;
    paragraph.lineSpacing = 4;
    paragraph.paragraphSpacing = 6;
    return paragraph;
}

}  // namespace

graphics::AttributedText PDFContractGenerator::makeClauseSection(std::string_view heading, std::string_view body,
                                                                 double headIndent) {
    graphics::ParagraphStyle paragraph = bodyParagraph();
    paragraph.headIndent = headIndent;
    graphics::AttributedText section(std::string(heading) + " ", textStyle(boldFont(), paragraph));
    section.append(std::string(body) + "\n\n", textStyle(regularFont(), paragraph));
    return section;
}

PDFContractGenerator::Data PDFContractGenerator::buildData(ContentSize size, const GenerationContext& context) {
    sham::Faker faker = makeFaker(context);
    platform::RandomSource& random = context.random();
    Data data;
    data.employeeName = faker.name().name();
    data.employerName = faker.company().name();
    data.effectiveDate =
        platform::format::date(faker.date().daysAgo(kEffectiveDaysAgo), platform::format::DateStyle::medium);
    data.employerAddress = fakeAddressLine(faker, false);
    data.employeeAddress = fakeAddressLine(faker, false);
    data.passportNumber = std::to_string(faker.number().randomInt(100000000, 999999999));
    data.secondCompanyName = faker.company().name();
    data.salary = wholeDollars(faker.number().randomInt(30000, 150000));
    data.probationPeriod = std::to_string(faker.number().randomInt(30, 90)) + " days";
    data.agreementNumber =
        std::string(texts::kAgreementNumberPrefix) + std::to_string(faker.number().randomInt(100000, 999999));
    data.jobTitle = std::string(texts::kJobTitles[randomIntBelow(random, texts::kJobTitles.size())]);
    data.state = faker.address().state();
    data.employeeSignature = drawSignatureImage(random, kSignatureSize.width, kSignatureSize.height);
    data.employerSignature = drawSignatureImage(random, kSignatureSize.width, kSignatureSize.height);
    if (size == ContentSize::large) {
        NonDisclosure nda;
        nda.effectiveDate =
            platform::format::date(faker.date().daysAgo(kEffectiveDaysAgo), platform::format::DateStyle::medium);
        nda.phoneNumber = faker.phoneNumber().phoneNumber();
        nda.faxNumber = faker.phoneNumber().phoneNumber();
        data.nonDisclosure = std::move(nda);
    }
    return data;
}

graphics::AttributedText PDFContractGenerator::buildAgreementText(const Data& data) {
    const graphics::TextStyle body = textStyle(regularFont(), bodyParagraph());
    const graphics::TextStyle bold = textStyle(boldFont(), bodyParagraph());
    const graphics::TextStyle title =
        textStyle(systemFont(FontWeight::bold, 22), bodyParagraph(graphics::Alignment::center));

    graphics::AttributedText text(std::string(texts::kStateOf) + data.state + "\n\n", body);
    text.append(texts::kEmploymentTitle, title);
    text.append(joined({texts::kPreambleOpening, data.effectiveDate, texts::kPreambleParties}), body);
    text.append(data.employeeName, bold);
    text.append(texts::kPreambleEmployee, body);
    text.append(data.employerName, bold);
    text.append(texts::kPreambleClosing, body);

    const auto clause = [&text](std::string_view heading, std::string_view clauseBody, double indent = 0) {
        text.append(makeClauseSection(heading, clauseBody, indent));
    };
    const auto clauses = [&clause](std::span<const texts::Clause> table) {
        for (const texts::Clause& item : table) {
            clause(item.heading, item.body, item.indent);
        }
    };
    clause(texts::kEmploymentHeading, joined({texts::kEmploymentBefore, data.jobTitle, texts::kEmploymentAfter}));
    clause(texts::kPerformance.heading, texts::kPerformance.body);
    clause(texts::kTermHeading, joined({texts::kTermBefore, data.effectiveDate, texts::kTermMiddle}) +
                                    data.probationPeriod + std::string(texts::kTermAfter));
    clause(texts::kCompensation.heading, texts::kCompensation.body);
    clause(texts::kBaseSalaryHeading, joined({texts::kBaseSalaryBefore, data.salary, texts::kBaseSalaryAfter}), 30);
    clauses(texts::kAfterSalary);
    clause(texts::kWorkLocationHeading,
           joined({texts::kWorkLocationBefore, data.employerAddress, texts::kWorkLocationAfter}));
    clauses(texts::kAfterWorkLocation);
    clause(texts::kGoverningLawHeading, joined({texts::kGoverningLawBefore, data.state, texts::kGoverningLawAfter}),
           30);
    clauses(texts::kClosingClauses);

    // The signature block: the form feed puts it at the top of a page.
    graphics::AttributedText signatures(texts::kEmploymentWitness, body);
    signatures.append(texts::kEmployeeLabel, body);
    signatures.appendAttachment(signatureAttachment(data.employeeSignature, kSignatureSize), body);
    signatures.append("\n\n" + data.employeeName + "\n" + data.employeeAddress + std::string(texts::kPassport) +
                          data.passportNumber + "\n\n",
                      body);
    signatures.append(texts::kEmployerLabel, body);
    signatures.appendAttachment(signatureAttachment(data.employerSignature, kSignatureSize), body);
    signatures.append("\n\n" + data.employerName + std::string(texts::kCompanyOpen) + data.secondCompanyName + ")\n" +
                          data.employerAddress + "\n\n",
                      body);
    text.append(signatures);
    return text;
}

std::vector<std::byte> PDFContractGenerator::renderDocument(const Data& data, const GenerationContext& context) {
    const AgreementPageLayout layout{
        {60, 60},
        {475, 672},
        {60, 752, 237.5, 30},
        {297.5, 752, 237.5, 30},
        systemFont(FontWeight::regular, 10).asItalic(),
    };
    const PageSetup setup{kPageSize, graphics::Origin::topLeft};
    return renderPDFDocument(setup, context, [&](DocumentPages& pages) {
        drawAgreementPages(pages, buildAgreementText(data), layout,
                           std::string(texts::kEmploymentFooter) + data.agreementNumber + ")", pageOfPages);
        if (data.nonDisclosure) {
            // Laid out on its own, so it starts a page and numbers its pages from 1.
            drawAgreementPages(pages, buildNDAText(data), layout,
                               std::string(texts::kNDAFooter) + data.agreementNumber + ")", pageOfPages);
        }
    });
}

fs::path PDFContractGenerator::generateDocument(const fs::path& destination, ContentSize size,
                                                const GenerationContext& context) {
    const std::vector<std::byte> pdf = renderDocument(buildData(size, context), context);
    const fs::path written = writePDFData(destination, pdf, context);
    context.log().log("org.stubforge.pdf", "PDFContractGenerator", platform::LogType::info,
                      std::string(texts::kSuccessLine) + written.string());
    return written;
}

}  // namespace stubforge
