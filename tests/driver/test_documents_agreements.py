"""The employment agreement (with its non-disclosure agreement) and the
services agreements, through stubforge-driver, read back with qpdf, pdffonts
and pdftotext."""

import re
import unittest

import pdfcheck
from driver import DriverTestCase

SEEDS = range(1, 6)
FORMS = ("small", "large")
EDGE_MARGIN = 10
# pdftotext measures a word by its font's bounding box, the layout by the
# line box: the two may differ by a fraction of a point.
SLACK = 0.75


class Geometry:
    """A page's text area and footer band, as (left, top, right, bottom)."""

    def __init__(self, text_area, footer_band, footer_split):
        self.text_area, self.footer_band, self.footer_split = text_area, footer_band, footer_split

    def is_footer(self, word):
        return word.y_min >= self.footer_band[1] - SLACK

    def footer_halves(self, page):
        words = sorted((w for w in page.words if self.is_footer(w)), key=lambda w: w.x_min)
        left = " ".join(w.text for w in words if w.x_max <= self.footer_split)
        right = " ".join(w.text for w in words if w.x_min >= self.footer_split)
        return left, right


# A4: text 475 x 672 at (60, 60); footer band (60, 752) 475 x 30, halves at 297.5.
EMPLOYMENT = Geometry((60, 60, 535, 732), (60, 752, 535, 782), 297.5)
# US Letter: text 512 x 642 at (50, 50); footer band (50, 712) 512 x 30, halves at 306.
SERVICES = Geometry((50, 50, 562, 692), (50, 712, 562, 742), 306)


def first_line(page, geometry):
    """The words of the page's top text line, left to right."""
    body = [w for w in page.words if not geometry.is_footer(w)]
    if not body:
        return ""
    top = min(w.y_min for w in body)
    return " ".join(w.text for w in sorted((w for w in body if w.y_min < top + 2), key=lambda w: w.x_min))


def starts_page(pages, geometry, opening):
    """Indexes of the pages whose top line begins with `opening`."""
    return [index for index, page in enumerate(pages) if first_line(page, geometry).startswith(opening)]


class AgreementDocumentsTest(DriverTestCase):
    def generate_document(self, kind, form, seed):
        return self.generate("--ext", "pdf", "--content", kind, "--form", form, "--seed", str(seed))

    def assert_readable_and_placed(self, path, geometry):
        code, output = pdfcheck.qpdf_check(path)
        self.assertEqual(code, 0, output)
        self.assertEqual(pdfcheck.unembedded_fonts(path), [])
        pages = pdfcheck.pages(path)
        self.assertEqual(len(pages), pdfcheck.page_count(path))
        left, top, right, bottom = geometry.text_area
        band = geometry.footer_band
        for number, page in enumerate(pages, start=1):
            self.assertTrue(page.words, f"page {number} is blank")
            self.assertEqual(page.words_near_edges(EDGE_MARGIN), [], f"page {number}")
            body = [w for w in page.words if not geometry.is_footer(w)]
            footer = [w for w in page.words if geometry.is_footer(w)]
            outside = [w for w in body if w.x_min < left - SLACK or w.y_min < top - SLACK
                       or w.x_max > right + SLACK or w.y_max > bottom + SLACK]
            self.assertEqual(outside, [], f"page {number}: body text outside the text area")
            stray = [w for w in footer if w.x_min < band[0] - SLACK or w.x_max > band[2] + SLACK
                     or w.y_max > band[3] + SLACK]
            self.assertEqual(stray, [], f"page {number}: footer outside its band")
        return pages

    def assert_numbered(self, footers, label, pattern, numbering):
        """Every left footer is `label` with one identifier; the right ones
        number the pages 1 to n, n being their count."""
        identifiers = set()
        for left, _ in footers:
            match = re.fullmatch(re.escape(label) + r" \((" + pattern + r")\)", left)
            self.assertIsNotNone(match, left)
            identifiers.add(match.group(1))
        self.assertEqual(len(identifiers), 1, identifiers)
        count = len(footers)
        self.assertEqual([right for _, right in footers], [numbering(i, count) for i in range(1, count + 1)])
        return identifiers.pop()

    def test_employment_agreement(self):
        for form in FORMS:
            for seed in SEEDS:
                with self.subTest(form=form, seed=seed):
                    path = self.generate_document("Contract", form, seed)
                    pages = self.assert_readable_and_placed(path, EMPLOYMENT)
                    self.assertIn("EMPLOYMENT AGREEMENT", pages[0].text())
                    footers = [EMPLOYMENT.footer_halves(page) for page in pages]
                    agreement = [f for f in footers if f[0].startswith("Employment Agreement")]
                    nda = [f for f in footers if f[0].startswith("Non-Disclosure Agreement")]
                    self.assertEqual(footers, agreement + nda, "the agreement's pages come first")
                    numbering = lambda i, n: f"{i} / {n}"
                    number = self.assert_numbered(agreement, "Employment Agreement", r"CT-\d{6}", numbering)
                    # The agreement's signature block starts its last page.
                    self.assertEqual(starts_page(pages, EMPLOYMENT, "IN WITNESS WHEREOF, this Agreement"),
                                     [len(agreement) - 1])
                    self.assertIn("Employer:", pages[len(agreement) - 1].text())
                    if form == "small":
                        self.assertEqual(nda, [])
                        continue
                    self.assertTrue(nda)
                    self.assertEqual(self.assert_numbered(nda, "Non-Disclosure Agreement", r"CT-\d{6}", numbering),
                                     number)
                    first_nda = pages[len(agreement)].text()
                    self.assertTrue(first_nda.startswith("State of "), first_nda[:80])
                    self.assertIn("NON-DISCLOSURE AND CONFIDENTIALITY AGREEMENT", first_nda)
                    self.assertEqual(starts_page(pages, EMPLOYMENT, "IN WITNESS WHEREOF, the parties hereto"),
                                     [len(pages) - 1])
                    self.assertIn("Receiving Party Full Name:", pages[-1].text())

    def test_services_agreement(self):
        titles = {
            "small": ("SERVICES AGREEMENT", "STATEMENT OF WORK", "8. "),
            "large": ("MASTER SERVICES AGREEMENT", "SERVICE LEVEL AGREEMENT",
                      "Service credits shall be Company's sole remedy for failure to meet service levels."),
        }
        for form in FORMS:
            title, exhibit, closing = titles[form]
            for seed in SEEDS:
                with self.subTest(form=form, seed=seed):
                    path = self.generate_document("B2B Contract", form, seed)
                    pages = self.assert_readable_and_placed(path, SERVICES)
                    self.assertEqual(first_line(pages[0], SERVICES), title)
                    self.assertIn("RECITALS", pages[0].text())
                    footers = [SERVICES.footer_halves(page) for page in pages]
                    self.assert_numbered(footers, "B2B Services Agreement", r"B2B-\d{6}",
                                         lambda i, n: f"Page {i} of {n}")
                    signed = starts_page(pages, SERVICES, "IN WITNESS WHEREOF, the parties have executed")
                    exhibit_page = starts_page(pages, SERVICES, "EXHIBIT A")
                    self.assertEqual(len(signed), 1)
                    self.assertEqual(exhibit_page, [signed[0] + 1])
                    self.assertEqual(first_line(pages[exhibit_page[0]], SERVICES).split(), ["EXHIBIT", "A"])
                    self.assertIn(exhibit, pages[exhibit_page[0]].text())
                    body_text = " ".join(w.text for page in pages[exhibit_page[0]:]
                                         for w in page.words if not SERVICES.is_footer(w))
                    self.assertIn(closing, body_text)
                    if form == "large":
                        text = " ".join(page.text() for page in pages[:signed[0]])
                        positions = [text.find(f"ARTICLE {n} ") for n in range(1, 11)]
                        self.assertNotIn(-1, positions)
                        self.assertEqual(positions, sorted(positions))

    def test_a_seed_replays_the_document(self):
        for kind in ("Contract", "B2B Contract"):
            with self.subTest(kind=kind):
                texts = [pdfcheck.layout_text(self.generate_document(kind, "large", 7)) for _ in range(2)]
                other = pdfcheck.layout_text(self.generate_document(kind, "large", 8))
                self.assertEqual(texts[0], texts[1])
                self.assertNotEqual(texts[0], other)


if __name__ == "__main__":
    unittest.main()
