#pragma once

#include "stubforge/pdf/DocumentSupport.h"

// The services agreements' type-level fonts, shared by the agreement and its
// service level exhibit.
namespace stubforge::b2b_fonts {

const platform::graphics::Font& title();            // bold 24
const platform::graphics::Font& heading();          // bold 18
const platform::graphics::Font& numberedHeading();  // bold 16
const platform::graphics::Font& body();             // regular 12
const platform::graphics::Font& bold();             // bold 12
const platform::graphics::Font& footer();           // italic 10

// Centred, paragraph spacing 12.
platform::graphics::ParagraphStyle titleParagraph();
// Justified, line spacing 4, paragraph spacing 8.
platform::graphics::ParagraphStyle bodyParagraph();

}  // namespace stubforge::b2b_fonts
