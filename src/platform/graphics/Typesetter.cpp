#include "platform/graphics/Typesetter.h"

#include "TextEngine.h"
#include "platform/Error.h"
#include "platform/graphics/GraphicsErrors.h"

#include <string>

namespace platform::graphics {

namespace {

constexpr double kPointsPerInch = 72;
// Larger text would overflow pango's 32-bit widths within one layout piece.
constexpr double kLargestFontSize = 500;

}  // namespace

Typesetter::Impl::Impl() : fontMap_(pango_cairo_font_map_new()) {
    if (!fontMap_) {
        throw Error(TypesetterError::noFonts, "No fonts to lay text out with: fontconfig found none.");
    }
    pango_cairo_font_map_set_resolution(PANGO_CAIRO_FONT_MAP(fontMap_.get()), kPointsPerInch);
    context_.reset(pango_font_map_create_context(fontMap_.get()));
    PangoContext* context = context_.get();
    // Unrounded positions and unhinted metrics: widths scale linearly with
    // the size, as in a PDF, instead of snapping to screen pixels.
    pango_context_set_round_glyph_positions(context, FALSE);
    detail::FontOptionsPtr options(cairo_font_options_create());
    cairo_font_options_set_hint_style(options.get(), CAIRO_HINT_STYLE_NONE);
    cairo_font_options_set_hint_metrics(options.get(), CAIRO_HINT_METRICS_OFF);
    cairo_font_options_set_antialias(options.get(), CAIRO_ANTIALIAS_GRAY);
    pango_cairo_context_set_font_options(context, options.get());
    pango_cairo_context_set_resolution(context, kPointsPerInch);
    pango_context_set_language(context, pango_language_from_string("en-us"));
    pango_context_set_base_dir(context, PANGO_DIRECTION_LTR);
}

const PangoFontDescription* Typesetter::Impl::description(const Font& font) {
    for (const auto& [known, description] : descriptions_) {
        if (known == font) {
            return description.get();
        }
    }
    if (!(font.size > 0) || font.size > kLargestFontSize) {
        throw Error(TypesetterError::invalidFontSize,
                    "The font size " + std::to_string(font.size) + " is out of range.");
    }
    detail::FontDescriptionPtr description(pango_font_description_new());
    pango_font_description_set_family(description.get(), fontFamilyList(font).c_str());
    // Absolute: the size is in device units, which on our surfaces are points.
    pango_font_description_set_absolute_size(description.get(), font.size * PANGO_SCALE);
    pango_font_description_set_weight(description.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    pango_font_description_set_style(description.get(), font.italic ? PANGO_STYLE_ITALIC : PANGO_STYLE_NORMAL);
    descriptions_.emplace_back(font, std::move(description));
    return descriptions_.back().second.get();
}

std::shared_ptr<const detail::TextLayout> Typesetter::Impl::frameLayout(const AttributedText& text, double width,
                                                                        double height) {
    if (lastText_ && lastWidth_ == width && lastHeight_ == height && *lastText_ == text) {
        return lastLayout_;
    }
    lastLayout_.reset();
    lastText_ = std::make_unique<AttributedText>(text);
    lastWidth_ = width;
    lastHeight_ = height;
    detail::LayoutRequest request;
    request.width = width;
    request.height = height;
    request.keepLayouts = true;
    lastLayout_ = std::make_shared<const detail::TextLayout>(detail::layoutText(*this, *lastText_, request));
    return lastLayout_;
}

Typesetter::Typesetter() : impl_(std::make_unique<Impl>()) {}

Typesetter::~Typesetter() = default;

Size Typesetter::measure(const AttributedText& text, double width) {
    return impl_->frameLayout(text, width, kUnbounded)->usedSize();
}

LineMetrics Typesetter::measureLine(const AttributedText& text) {
    const auto layout = impl_->frameLayout(text, kUnbounded, kUnbounded);
    if (layout->lines.empty()) {
        return {};
    }
    const detail::PlacedLine& line = layout->lines.front();
    return {line.width, line.baseline - line.top, line.top + line.height - line.baseline};
}

}  // namespace platform::graphics
