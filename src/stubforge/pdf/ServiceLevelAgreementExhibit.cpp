#include "AgreementTexts.h"
#include "B2BFonts.h"
#include "DocumentText.h"
#include "Documents.h"

namespace stubforge {

namespace graphics = platform::graphics;
namespace texts = agreement_texts;

graphics::AttributedText PDFB2BContractGenerator::buildServiceLevelExhibit() {
    const graphics::ParagraphStyle body = b2b_fonts::bodyParagraph();
    graphics::AttributedText exhibit;
    for (const texts::ExhibitRun& run : texts::kServiceLevelExhibit) {
        switch (run.role) {
        case texts::ExhibitRole::title:
            exhibit.append(run.text, textStyle(b2b_fonts::heading(), b2b_fonts::titleParagraph()));
            break;
        case texts::ExhibitRole::numberedHeading:
            exhibit.append(run.text, textStyle(b2b_fonts::numberedHeading(), body));
            break;
        case texts::ExhibitRole::priority:
            exhibit.append(run.text, textStyle(b2b_fonts::bold(), body));
            break;
        case texts::ExhibitRole::body:
            exhibit.append(run.text, textStyle(b2b_fonts::body(), body));
            break;
        }
    }
    return exhibit;
}

}  // namespace stubforge
