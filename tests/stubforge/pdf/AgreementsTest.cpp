#include "AgreementTexts.h"
#include "Documents.h"

#include "CoreTestSupport.h"
#include "PdfTools.h"

#include <algorithm>
#include <regex>
#include <set>

namespace stubforge {
namespace {

namespace fs = std::filesystem;
namespace graphics = platform::graphics;
namespace texts = agreement_texts;

constexpr int kSeeds = 40;

std::int64_t digitsAfter(const std::string& text, std::string_view prefix) {
    EXPECT_EQ(text.substr(0, prefix.size()), prefix) << text;
    return std::stoll(text.substr(prefix.size()));
}

// Checks one scribble against its box: 1–3 strokes of 3–7 segments, every
// point inside the box's allowed band.
void expectScribble(const graphics::Path& path, graphics::Size box) {
    int strokes = 0;
    int segments = 0;
    for (const graphics::Path::Element& element : path.elements()) {
        const graphics::Point point = element.points[0];
        EXPECT_GE(point.x, 0);
        EXPECT_LT(point.x, box.width);
        if (element.verb == graphics::Path::Verb::moveTo) {
            if (strokes > 0) {
                EXPECT_GE(segments, 3);
                EXPECT_LE(segments, 7);
            }
            ++strokes;
            segments = 0;
            EXPECT_GE(point.y, 0.3 * box.height);
            EXPECT_LE(point.y, 0.7 * box.height);
        } else {
            ASSERT_EQ(element.verb, graphics::Path::Verb::lineTo);
            ++segments;
            EXPECT_GE(point.y, 0.2 * box.height);
            EXPECT_LE(point.y, 0.8 * box.height);
        }
    }
    EXPECT_GE(strokes, 1);
    EXPECT_LE(strokes, 3);
    EXPECT_GE(segments, 3);
    EXPECT_LE(segments, 7);
}

class AgreementsTest : public ::testing::Test {
protected:
    testing::WriterFixture world;

    fs::path write(const std::string& name, const std::vector<std::byte>& pdf) {
        return writePDFData(world.outputFolder / name, pdf, world.context());
    }
};

// ---- Employment agreement

TEST_F(AgreementsTest, EmploymentAgreementValuesStayInTheirRanges) {
    std::set<std::string> titles;
    for (int seed = 1; seed <= kSeeds; ++seed) {
        world.random = platform::SeededRandom(seed);
        const auto data = PDFContractGenerator::buildData(ContentSize::small, world.context());
        const std::int64_t number = digitsAfter(data.agreementNumber, "CT-");
        EXPECT_GE(number, 100000);
        EXPECT_LT(number, 999999);
        EXPECT_TRUE(std::regex_match(data.passportNumber, std::regex("[1-9][0-9]{8}"))) << data.passportNumber;
        EXPECT_NE(data.passportNumber, "999999999");
        EXPECT_TRUE(std::regex_match(data.probationPeriod, std::regex("([3-8][0-9]) days"))) << data.probationPeriod;
        EXPECT_TRUE(std::regex_match(data.salary, std::regex(R"(\$([3-9]\d|1[0-4]\d),\d{3}\.00)"))) << data.salary;
        EXPECT_NE(std::find(texts::kJobTitles.begin(), texts::kJobTitles.end(), data.jobTitle),
                  texts::kJobTitles.end());
        titles.insert(data.jobTitle);
        // 100 days before 2026-12-08.
        EXPECT_EQ(data.effectiveDate, "Aug 30, 2026");
        EXPECT_FALSE(data.nonDisclosure.has_value());
        expectScribble(data.employeeSignature, PDFContractGenerator::kSignatureSize);
        expectScribble(data.employerSignature, PDFContractGenerator::kSignatureSize);
        EXPECT_EQ(std::count(data.employerAddress.begin(), data.employerAddress.end(), ','), 2) << data.employerAddress;
    }
    EXPECT_GT(titles.size(), 4u);
}

TEST_F(AgreementsTest, TheLargeFormAddsTheNonDisclosureValuesAndASeedReplaysThem) {
    const auto first = PDFContractGenerator::buildData(ContentSize::large, world.context());
    ASSERT_TRUE(first.nonDisclosure.has_value());
    EXPECT_EQ(first.nonDisclosure->effectiveDate, first.effectiveDate);
    EXPECT_FALSE(first.nonDisclosure->phoneNumber.empty());

    testing::WriterFixture twin;
    const auto again = PDFContractGenerator::buildData(ContentSize::large, twin.context());
    EXPECT_EQ(again.agreementNumber, first.agreementNumber);
    EXPECT_EQ(again.employeeName, first.employeeName);
    EXPECT_EQ(again.nonDisclosure->faxNumber, first.nonDisclosure->faxNumber);
    EXPECT_EQ(again.employerSignature.elements().size(), first.employerSignature.elements().size());
}

TEST_F(AgreementsTest, AgreementTextHasItsClausesInOrderAndItsSignaturesOnANewPage) {
    const auto data = PDFContractGenerator::buildData(ContentSize::large, world.context());
    const std::string text = PDFContractGenerator::buildAgreementText(data).string();
    EXPECT_EQ(text.rfind("State of " + data.state + "\n\nEMPLOYMENT AGREEMENT\n\n", 0), 0u);
    const std::vector<std::string> headings = {
        "1. Employment. ",
        "2. Performance of Duties. ",
        "3. Term. ",
        "4. Compensation. \n\n",
        "A. Base Salary. ",
        "B. Overtime. ",
        "C. Additional Compensation. ",
        "5. Expenses. ",
        "6. Work Location. ",
        "7. Employee Benefits. ",
        "A. Paid Time Off. ",
        "B. Other. ",
        "8. Disability. ",
        "9. Confidentiality. \n\n",
        "A. Confidential and Proprietary Information. ",
        "B. Confidentiality Obligations. ",
        "C. Rights in Confidential and Proprietary Information. ",
        "10. Ownership of Work Product. ",
        "11. Termination. ",
        "12. Miscellaneous. \n\n",
        "A. Authority to Contract. ",
        "B. Governing Law. ",
        "C. Entire Agreement and Amendment. ",
        "D. Notices. ",
        "E. Waiver. ",
        "F. Further Assurances. ",
        "G. Severability. ",
        "H. No Assignment. ",
        "\fIN WITNESS WHEREOF",
    };
    std::size_t from = 0;
    for (const std::string& heading : headings) {
        const std::size_t at = text.find(heading, from);
        ASSERT_NE(at, std::string::npos) << heading;
        from = at + heading.size();
    }
    EXPECT_NE(text.find("without prior written consent\n\nB. Governing Law. "), std::string::npos) << "no full stop";
    EXPECT_NE(text.find("Employee's probation period shall be " + data.probationPeriod + ", starting"),
              std::string::npos);
    EXPECT_NE(text.find("will pay Employee " + data.salary + " per annum"), std::string::npos);
    EXPECT_NE(text.find("Passport: " + data.passportNumber + "\n\n"), std::string::npos);
    EXPECT_NE(text.find(data.employerName + " (Company: " + data.secondCompanyName + ")\n"), std::string::npos);
    // Two signature boxes of 200 x 80.
    std::size_t boxes = 0;
    const graphics::AttributedText attributed = PDFContractGenerator::buildAgreementText(data);
    for (const auto& run : attributed.runs()) {
        if (run.attachment) {
            ++boxes;
            EXPECT_EQ(run.attachment->size, PDFContractGenerator::kSignatureSize);
        }
    }
    EXPECT_EQ(boxes, 2u);

    const std::string nda = PDFContractGenerator::buildNDAText(data).string();
    EXPECT_EQ(nda.rfind("\n\nState of " + data.state + "\n\nNON-DISCLOSURE AND CONFIDENTIALITY AGREEMENT\n\n", 0), 0u);
    EXPECT_NE(nda.find("Disclosing Party: " + data.secondCompanyName + ", as a(n) Corporation"), std::string::npos);
    EXPECT_NE(nda.find("\n\na.  If the information"), std::string::npos) << "lettered items";
    EXPECT_NE(nda.find("\fIN WITNESS WHEREOF, the parties hereto"), std::string::npos);
    EXPECT_NE(nda.find("Receiving Party Full Name: " + data.employeeName + "\n\n"), std::string::npos);
}

TEST_F(AgreementsTest, ClauseSectionsHangTheirLinesAfterTheFirst) {
    const auto section = PDFContractGenerator::makeClauseSection("A. Heading.", "Body", 30);
    EXPECT_EQ(section.string(), "A. Heading. Body\n\n");
    ASSERT_EQ(section.runs().size(), 2u);
    const auto& heading = section.styles()[section.runs()[0].style];
    const auto& body = section.styles()[section.runs()[1].style];
    EXPECT_TRUE(heading.font.bold);
    EXPECT_FALSE(body.font.bold);
    EXPECT_EQ(body.font.size, 14);
    EXPECT_EQ(body.paragraph.headIndent, 30);
    EXPECT_EQ(body.paragraph.firstLineHeadIndent, 0);
    EXPECT_EQ(body.paragraph.alignment, graphics::Alignment::justified);
    EXPECT_EQ(PDFContractGenerator::makeClauseSection("4. Compensation.", "", 0).string(), "4. Compensation. \n\n");
}

// ---- Services agreements

TEST_F(AgreementsTest, ServicesAgreementValuesStayInTheirRanges) {
    std::set<std::string> services;
    for (int seed = 1; seed <= kSeeds; ++seed) {
        world.random = platform::SeededRandom(seed);
        const auto small = PDFB2BContractGenerator::buildData(ContentSize::small, world.context());
        EXPECT_TRUE(small.termMonths == 6 || small.termMonths == 12 || small.termMonths == 24 || small.termMonths == 36)
            << small.termMonths;
        EXPECT_TRUE(std::regex_match(small.monthlyFee, std::regex(R"(\$([5-9]|[1-4]\d),000\.00)"))) << small.monthlyFee;
        EXPECT_NE(std::find(texts::kServiceCatalogue.begin(), texts::kServiceCatalogue.end(), small.service),
                  texts::kServiceCatalogue.end());
        services.insert(small.service);
        EXPECT_FALSE(small.first.title.empty());
        EXPECT_TRUE(small.first.email.empty());

        const auto large = PDFB2BContractGenerator::buildData(ContentSize::large, world.context());
        EXPECT_TRUE(large.service.empty());
        EXPECT_NE(large.first.email.find('@'), std::string::npos);
        EXPECT_FALSE(large.arbitrationCity.empty());
        for (const auto* data : {&small, &large}) {
            const std::int64_t identifier = digitsAfter(data->identifier, "B2B-");
            EXPECT_GE(identifier, 100000);
            EXPECT_LT(identifier, 999999);
            // 30 days before 2026-12-08, in the long style.
            EXPECT_EQ(data->effectiveDate, "November 8, 2026");
            expectScribble(data->first.signature, PDFB2BContractGenerator::kSignatureSize);
            expectScribble(data->second.signature, PDFB2BContractGenerator::kSignatureSize);
            // Street, city, state and postcode.
            EXPECT_EQ(std::count(data->firstPartyAddress.begin(), data->firstPartyAddress.end(), ','), 2);
        }
    }
    EXPECT_GT(services.size(), 4u);
}

TEST_F(AgreementsTest, DeliverablesFollowTheServiceByExactName) {
    struct Case {
        std::string_view service;
        std::string_view first;
    };
    const Case cases[] = {
        {"Software Development Services", "Requirements analysis and technical design documentation"},
        {"Cybersecurity Services", "Security risk assessment and vulnerability scanning"},
        {"Business Process Automation", "Initial assessment and requirements gathering"},
        {"software development services", "Initial assessment and requirements gathering"},
    };
    for (const Case& item : cases) {
        const auto list = PDFB2BContractGenerator::deliverablesForService(item.service);
        ASSERT_EQ(list.size(), 8u);
        EXPECT_EQ(list.front(), item.first) << item.service;
    }
}

TEST_F(AgreementsTest, ServicesAgreementTextsFillTheirValues) {
    auto data = PDFB2BContractGenerator::buildData(ContentSize::small, world.context());
    data.service = "Business Process Automation";
    const std::string small = PDFB2BContractGenerator::buildServicesAgreement(data).string();
    EXPECT_EQ(small.rfind("SERVICES AGREEMENT\n\n", 0), 0u);
    EXPECT_NE(small.find("Client desires to obtain business process automation from"), std::string::npos);
    EXPECT_NE(small.find("1. SERVICES. Service Provider shall provide Business Process Automation ("),
              std::string::npos);
    EXPECT_NE(small.find("monthly fee of " + data.monthlyFee + ", payable"), std::string::npos);
    EXPECT_NE(small.find("10. GENERAL PROVISIONS. \n\n(a) Governing Law. This Agreement shall be governed by the "
                         "laws of " +
                         data.governingState + ","),
              std::string::npos);
    EXPECT_NE(small.find("\n\fIN WITNESS WHEREOF"), std::string::npos);
    EXPECT_NE(small.find("Date: " + data.effectiveDate + "\n\n\nSERVICE PROVIDER:"), std::string::npos);
    const std::string tail = "\n\fEXHIBIT A\nSTATEMENT OF WORK\n\nServices to be provided:\n\n1. Initial assessment";
    EXPECT_NE(small.find(tail), std::string::npos);
    EXPECT_TRUE(small.ends_with("8. Ongoing support and maintenance services\n"));

    const auto large = PDFB2BContractGenerator::buildData(ContentSize::large, world.context());
    const std::string master = PDFB2BContractGenerator::buildMasterServicesAgreement(large).string();
    EXPECT_EQ(master.rfind("MASTER SERVICES AGREEMENT\n\n", 0), 0u);
    EXPECT_NE(master.find("ARTICLE 1\nDEFINITIONS\n\n1.1 \"Confidential Information\" means"), std::string::npos);
    EXPECT_NE(master.find("\n\nARTICLE 10\nGENERAL PROVISIONS\n\n10.1 Independent"), std::string::npos);
    EXPECT_NE(master.find("laws of the State of " + large.governingState + ", without"), std::string::npos);
    EXPECT_NE(master.find("shall be conducted in " + large.arbitrationCity + ", " + large.governingState + ".\n\n"),
              std::string::npos);
    EXPECT_NE(master.find("Title: Chief Executive Officer\nDate: " + large.effectiveDate), std::string::npos);
    EXPECT_TRUE(master.ends_with(PDFB2BContractGenerator::buildServiceLevelExhibit().string()));
}

TEST_F(AgreementsTest, TheExhibitIsTheSameInEveryDocument) {
    const std::string exhibit = PDFB2BContractGenerator::buildServiceLevelExhibit().string();
    EXPECT_EQ(exhibit.rfind("\n\fEXHIBIT A\nSERVICE LEVEL AGREEMENT\n\n", 0), 0u);
    EXPECT_TRUE(
        exhibit.ends_with("Service credits shall be Company's sole remedy for failure to meet service "
                          "levels.\n"));
    EXPECT_NE(exhibit.find("\u2022 API response time: < 500ms for 95% of requests\n"), std::string::npos);
    world.random = platform::SeededRandom(9);
    const auto one = PDFB2BContractGenerator::buildMasterServicesAgreement(
        PDFB2BContractGenerator::buildData(ContentSize::large, world.context()));
    world.random = platform::SeededRandom(10);
    const auto other = PDFB2BContractGenerator::buildMasterServicesAgreement(
        PDFB2BContractGenerator::buildData(ContentSize::large, world.context()));
    ASSERT_NE(one.string(), other.string());
    EXPECT_TRUE(one.string().ends_with(exhibit));
    EXPECT_TRUE(other.string().ends_with(exhibit));
}

// ---- Pages

TEST_F(AgreementsTest, APageOfBlankLinesBeforeAFormFeedIsLeftOut) {
    graphics::TextStyle style;
    style.font = systemFont(FontWeight::regular, 12);
    graphics::Typesetter typesetter;
    const double lineHeight = typesetter.measure(graphics::AttributedText("Line", style)).height;
    // Three lines fill the container; the empty line after them spills onto
    // a page of its own, and the form feed then starts a third.
    const graphics::AttributedText text("One\nTwo\nThree\n\n\fAfter", style);
    const graphics::TextFlow flow(typesetter, text, {300, lineHeight * 3 + 1});
    ASSERT_EQ(flow.pageCount(), 3u) << "the layout no longer spills the empty line";
    EXPECT_EQ(visiblePages(flow), (std::vector<std::size_t>{0, 2}));
}

TEST_F(AgreementsTest, OverlongValuesStillWrapInsideTheTextArea) {
    auto contract = PDFContractGenerator::buildData(ContentSize::large, world.context());
    contract.employeeName = std::string(120, 'W');
    contract.employerAddress = std::string(90, 'M') + " " + std::string(90, 'M');
    contract.state = std::string(60, 'S');
    auto services = PDFB2BContractGenerator::buildData(ContentSize::large, world.context());
    services.firstPartyName = std::string(150, 'W');
    services.first.email = std::string(100, 'm') + "@example.com";

    struct Case {
        fs::path pdf;
        double left, top, right, bottom, footerTop;
    };
    const Case cases[] = {
        {write("contract.pdf", PDFContractGenerator::renderDocument(contract, world.context())), 60, 60, 535, 732, 752},
        {write("services.pdf", PDFB2BContractGenerator::renderDocument(services, world.context())), 50, 50, 562, 692,
         712},
    };
    for (const Case& item : cases) {
        const auto words = graphics_test::wordsOf(item.pdf);
        ASSERT_FALSE(words.empty());
        for (const auto& word : words) {
            if (word.yMin >= item.footerTop - 1) {
                continue;
            }
            EXPECT_GE(word.xMin, item.left - 0.75) << word.text;
            EXPECT_LE(word.xMax, item.right + 0.75) << word.text;
            EXPECT_GE(word.yMin, item.top - 0.75) << word.text;
            EXPECT_LE(word.yMax, item.bottom + 0.75) << word.text;
        }
    }
}

}  // namespace
}  // namespace stubforge
