#include "AgreementTexts.h"
#include "Documents.h"

#include <string>

namespace stubforge {

namespace graphics = platform::graphics;
namespace texts = agreement_texts;

graphics::AttributedText PDFContractGenerator::buildNDAText(const Data& data) {
    graphics::ParagraphStyle bodyParagraph;
    bodyParagraph.alignment = graphics::Alignment::justified;
    bodyParagraph.lineSpacing = 4;
    bodyParagraph.paragraphSpacing = 6;
    graphics::ParagraphStyle titleParagraph = bodyParagraph;
    titleParagraph.alignment = graphics::Alignment::center;

    graphics::TextStyle regular;
    regular.font = systemFont(FontWeight::regular, 14);
    regular.paragraph = bodyParagraph;
    graphics::TextStyle bold = regular;
    bold.font = systemFont(FontWeight::bold, 14);
    graphics::TextStyle title;
    title.font = systemFont(FontWeight::bold, 22);
    title.paragraph = titleParagraph;

    // Only the large form has the values this text needs.
    const NonDisclosure nda = data.nonDisclosure.value_or(NonDisclosure{});

    graphics::AttributedText text(std::string("\n\n").append(texts::kStateOf) + data.state + "\n\n", regular);
    text.append(texts::kNDATitle, title);
    text.append(std::string(texts::kNDAOpening) + nda.effectiveDate + std::string(texts::kNDAOpeningAfter), regular);
    text.append(texts::kDisclosingPartyIntro, regular);
    text.append(data.secondCompanyName, bold);
    text.append(texts::kDisclosingPartyRole, regular);
    text.append(texts::kReceivingPartyIntro, regular);
    text.append(data.employeeName, bold);
    text.append(texts::kReceivingPartyRole, regular);
    text.append(
        std::string(texts::kNDAInterest) + std::string(texts::kNDATransaction) + std::string(texts::kNDAInterestAfter),
        regular);

    const auto clause = [&text](const texts::Clause& item) {
        text.append(makeClauseSection(item.heading, item.body, item.indent));
    };
    const auto clauses = [&clause](std::span<const texts::Clause> table) {
        for (const texts::Clause& item : table) {
            clause(item);
        }
    };
    clauses(texts::kNDADefinition);
    clause(texts::kNDAExclusionsIntro);
    clauses(texts::kNDAExclusions);
    clause(texts::kNDAObligationsIntro);
    clauses(texts::kNDAObligations);
    text.append(texts::kNDASurvival, regular);
    clause(texts::kNDATransactionSecrecy);
    clause(texts::kNDANonCompete);
    text.append(texts::kNDADuringTerm, regular);
    text.append(texts::kNDAUntilDate, regular);
    clause(texts::kNDANonSolicitation);
    text.append(texts::kNDADuringTerm, regular);
    text.append(texts::kNDAUntilDate, regular);
    clauses(texts::kNDAMiddleClauses);

    const auto noticeBlock = [&](std::string_view label, const std::string& name, const std::string& representative,
                                 std::string_view representativeTitle, const std::string& address) {
        text.append(label, bold);
        text.append(std::string(texts::kNoticeName) + name + "\n" + std::string(texts::kNoticeRepresentative) +
                        representative + std::string(representativeTitle) + std::string(texts::kNoticeAddress) +
                        address + "\n" + std::string(texts::kNoticePhone) + nda.phoneNumber + "\n" +
                        std::string(texts::kNoticeFax) + nda.faxNumber + "\n\n",
                    regular);
    };
    noticeBlock(texts::kDisclosingPartyBlock, data.secondCompanyName, data.employerName, texts::kNoticeManager,
                data.employerAddress);
    noticeBlock(texts::kReceivingPartyBlock, data.employeeName, data.employeeName, texts::kNoticeEmployee,
                data.employeeAddress);

    clause(texts::kNDATermination);
    for (const std::string_view event : texts::kNDATerminationEvents) {
        text.append(event, regular);
    }
    clause(texts::kNDAAmendment);
    text.append(makeClauseSection(texts::kNDAJurisdictionHeading,
                                  std::string(texts::kNDAJurisdictionBefore) + data.state +
                                      std::string(texts::kNDAJurisdictionMiddle) + data.state +
                                      std::string(texts::kNDAJurisdictionAfter),
                                  0));
    clause(texts::kNDAMiscellaneous);

    // The same two scribbles as the agreement's; the form feed starts their page.
    text.append(texts::kNDAWitness, regular);
    text.append(texts::kNDADisclosingSignature, bold);
    text.appendAttachment(signatureAttachment(data.employerSignature, kSignatureSize), regular);
    text.append(std::string(texts::kNDADisclosingFullName) + data.secondCompanyName + "\n\n", regular);
    text.append(texts::kNDAReceivingSignature, bold);
    text.appendAttachment(signatureAttachment(data.employeeSignature, kSignatureSize), regular);
    text.append(std::string(texts::kNDAReceivingFullName) + data.employeeName + "\n\n", regular);
    return text;
}

}  // namespace stubforge
