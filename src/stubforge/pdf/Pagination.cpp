#include "stubforge/pdf/Pagination.h"

#include <algorithm>
#include <optional>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

namespace stubforge {

namespace graphics = platform::graphics;

namespace {

// One paragraph of the text: its characters, then its terminator.
struct Paragraph {
    std::size_t begin = 0;
    std::size_t end = 0;   // where its terminator starts
    std::size_t next = 0;  // past its terminator
    bool blank = false;    // only spaces and tabs
    bool heading = false;  // visible characters all in a bold font
};

constexpr std::string_view kParagraphSeparator = "\xE2\x80\xA9";

bool isBlankCharacter(char c) { return c == ' ' || c == '\t'; }

bool isHeading(const graphics::AttributedText& text, std::size_t begin, std::size_t end) {
    const std::string& string = text.string();
    bool visible = false;
    for (const graphics::AttributedText::Run& run : text.runs()) {
        if (run.end <= begin || run.begin >= end) {
            continue;
        }
        const std::size_t from = std::max(run.begin, begin);
        const std::size_t to = std::min(run.end, end);
        const bool shows = run.attachment != nullptr || std::any_of(string.begin() + static_cast<std::ptrdiff_t>(from),
                                                                    string.begin() + static_cast<std::ptrdiff_t>(to),
                                                                    [](char c) { return !isBlankCharacter(c); });
        if (!shows) {
            continue;
        }
        if (run.attachment != nullptr || !text.styles()[run.style].font.bold) {
            return false;
        }
        visible = true;
    }
    return visible;
}

// The paragraphs as the layout sees them: ended by "\n", "\r", "\r\n",
// U+2029 or a form feed.
std::vector<Paragraph> paragraphsOf(const graphics::AttributedText& text) {
    const std::string& string = text.string();
    std::vector<Paragraph> paragraphs;
    std::size_t begin = 0;
    std::size_t at = 0;
    const auto close = [&](std::size_t end, std::size_t next) {
        Paragraph paragraph{begin, end, next};
        paragraph.blank = std::all_of(string.begin() + static_cast<std::ptrdiff_t>(begin),
                                      string.begin() + static_cast<std::ptrdiff_t>(end), isBlankCharacter);
        paragraph.heading = !paragraph.blank && isHeading(text, begin, end);
        paragraphs.push_back(paragraph);
        begin = next;
        at = next;
    };
    while (at < string.size()) {
        const char c = string[at];
        if (c == '\n' || c == '\f') {
            close(at, at + 1);
        } else if (c == '\r') {
            close(at, at + (at + 1 < string.size() && string[at + 1] == '\n' ? 2 : 1));
        } else if (std::string_view(string).substr(at, kParagraphSeparator.size()) == kParagraphSeparator) {
            close(at, at + kParagraphSeparator.size());
        } else {
            ++at;
        }
    }
    if (begin < string.size()) {
        close(string.size(), string.size());
    }
    return paragraphs;
}

// Bytes `begin` to `end` of `text` with their styles and attachments.
graphics::AttributedText slice(const graphics::AttributedText& text, std::size_t begin, std::size_t end) {
    graphics::AttributedText part;
    for (const graphics::AttributedText::Run& run : text.runs()) {
        if (run.end <= begin || run.begin >= end) {
            continue;
        }
        const graphics::TextStyle& style = text.styles()[run.style];
        if (run.attachment != nullptr) {
            part.appendAttachment(run.attachment, style);
        } else {
            const std::size_t from = std::max(run.begin, begin);
            part.append(std::string_view(text.string()).substr(from, std::min(run.end, end) - from), style);
        }
    }
    return part;
}

// `text` with the byte at `offset`, a paragraph's one-byte terminator, made
// a form feed: the same paragraphs, with a page break after that one.
graphics::AttributedText withPageBreakAt(const graphics::AttributedText& text, std::size_t offset) {
    graphics::AttributedText broken = slice(text, 0, offset);
    broken.append("\f", text.styleAt(offset));
    broken.append(slice(text, offset + 1, text.size()));
    return broken;
}

// How many lines a heading keeps with it of the paragraph that follows
// (all of it when it has fewer).
constexpr int kLinesKeptWithHeading = 2;

class HeadingKeeper {
public:
    HeadingKeeper(graphics::Typesetter& typesetter, double width) : typesetter_(typesetter), width_(width) {}

    // The first heading (from paragraph `from` on) that the flow leaves
    // below its page's other text without the first lines of what follows
    // it: the index of the first heading of its group of headings, and where
    // to break the page before it. A heading standing at the top of its page
    // is left alone: moving it would gain nothing.
    std::optional<std::pair<std::size_t, std::size_t>> stranded(const graphics::TextFlow& flow,
                                                                std::span<const Paragraph> paragraphs,
                                                                std::size_t from) {
        constexpr std::size_t kNoGroup = static_cast<std::size_t>(-1);
        std::size_t group = kNoGroup;
        for (std::size_t index = from; index < paragraphs.size(); ++index) {
            const Paragraph& paragraph = paragraphs[index];
            if (paragraph.heading) {
                group = std::min(group, index);
            } else if (!paragraph.blank) {
                if (group != kNoGroup && !keptTogether(flow, paragraphs[group], paragraph)) {
                    if (const auto at = breakBefore(flow.text().string(), paragraphs[group])) {
                        return std::pair{group, *at};
                    }
                }
                group = kNoGroup;
            }
        }
        return std::nullopt;
    }

private:
    bool keptTogether(const graphics::TextFlow& flow, const Paragraph& heading, const Paragraph& body) {
        const std::span<const graphics::FlowPage> pages = flow.pages();
        const auto page = std::find_if(pages.begin(), pages.end(),
                                       [&](const graphics::FlowPage& each) { return heading.begin < each.end; });
        if (page == pages.end() || page + 1 == pages.end()) {
            return true;
        }
        const std::string_view above =
            std::string_view(flow.text().string()).substr(page->begin, heading.begin - page->begin);
        if (std::all_of(above.begin(), above.end(), [](char c) { return c <= ' '; })) {
            return true;
        }
        if (page->end >= body.end) {
            return true;
        }
        if (page->end <= body.begin) {
            return false;
        }
        // The body starts on the heading's page: as many of its lines stand
        // there as its part up to the page end takes when laid out alone.
        const graphics::AttributedText part = slice(flow.text(), body.begin, page->end);
        const double oneLine = typesetter_.measure(part).height;
        const double wrapped = typesetter_.measure(part, width_).height;
        static_assert(kLinesKeptWithHeading == 2, "counts one line against more");
        return wrapped > oneLine * 1.5;
    }

    // The paragraph terminator just before `heading`, when it is one byte.
    static std::optional<std::size_t> breakBefore(const std::string& text, const Paragraph& heading) {
        if (heading.begin == 0) {
            return std::nullopt;
        }
        const std::size_t at = heading.begin - 1;
        const bool newline = text[at] == '\n' && (at == 0 || text[at - 1] != '\r');
        if (newline || text[at] == '\r') {
            return at;
        }
        return std::nullopt;
    }

    graphics::Typesetter& typesetter_;
    double width_;
};

}  // namespace

graphics::TextFlow paginateText(graphics::Typesetter& typesetter, graphics::AttributedText text,
                                graphics::Size textArea) {
    const std::vector<Paragraph> paragraphs = paragraphsOf(text);
    HeadingKeeper keeper(typesetter, textArea.width);
    std::size_t from = 0;
    for (;;) {
        graphics::TextFlow flow(typesetter, std::move(text), textArea);
        const auto stranded = keeper.stranded(flow, paragraphs, from);
        if (!stranded) {
            return flow;
        }
        // Breaking the page there keeps every paragraph and every offset;
        // what comes before stays as it was laid.
        text = withPageBreakAt(flow.text(), stranded->second);
        from = stranded->first;
    }
}

void drawTextPages(DocumentPages& pages, const graphics::TextFlow& flow, graphics::Point textOrigin,
                   const PageDecoration& decorate) {
    const std::size_t count = flow.pageCount();
    for (std::size_t page = 0; page < count; ++page) {
        pages.drawPage([&](graphics::Canvas& canvas) {
            flow.drawPage(canvas, page, textOrigin);
            if (decorate) {
                decorate(canvas, page, count);
            }
        });
    }
}

}  // namespace stubforge
