"""Invoices and receipts through the driver, small and large, over several
seeds: valid PDFs whose footers count the pages written, whose words stay on
the page above the footer band, and whose figures add up."""

import os
import re
import unittest

import pdfcheck
from driver import DriverTestCase

STAMP = r"\d{14}"
SEEDS = range(1, 6)
MONEY = r"(-?\$[\d,]+\.\d\d)"

# content, form -> the footer of page k of n (None: no footer) and the
# points above the bottom edge that every other word stays over.
DOCUMENTS = {
    ("Invoice", "small"): (None, 40),
    ("Invoice", "large"): (lambda k, n: f"{k} / {n}", 55),
    ("Receipt", "small"): (None, 40),
    ("Receipt", "large"): (lambda k, n: f"Receipt - Page {k} of {n}", 35),
}


def money(text):
    return float(text.replace("$", "").replace(",", ""))


def amount_after(test, text, label):
    match = re.search(re.escape(label) + r"\s+" + MONEY, text)
    test.assertIsNotNone(match, f"no amount after {label!r}")
    return money(match.group(1))


class InvoiceReceiptTest(DriverTestCase):
    def check_pages(self, path, footer, floor):
        code, output = pdfcheck.qpdf_check(path)
        self.assertEqual(code, 0, output)
        count = pdfcheck.page_count(path)
        pages = pdfcheck.pages(path)
        self.assertEqual(len(pages), count)
        for number, page in enumerate(pages, start=1):
            self.assertEqual((page.width, page.height), (595, 842))
            band = [w for w in page.words if w.y_min > page.height - floor]
            body = [w for w in page.words if w.y_min <= page.height - floor]
            self.assertEqual(page.words_outside(0, 0, page.width, page.height - floor), band, f"page {number}")
            self.assertTrue(body)
            if footer is None:
                self.assertEqual(band, [], f"page {number}")
            else:
                self.assertEqual(" ".join(w.text for w in band), footer(number, count))
        return count

    def check_invoice_figures(self, text, large):
        number = r"\s*(\d+)" if large else ""
        rows = re.findall(rf"^{number}\s*\S.*?\s(\d+)\s+{MONEY}\s+{MONEY}\s*$", text, re.M)
        quantities = [int(row[-3]) for row in rows]
        lines = [money(row[-1]) for row in rows]
        self.assertTrue(3 <= len(rows) <= (99 if large else 7), rows)
        if large:
            self.assertEqual([int(row[0]) for row in rows], list(range(1, len(rows) + 1)))
        for quantity, row in zip(quantities, rows):
            self.assertAlmostEqual(quantity * money(row[-2]), money(row[-1]), delta=0.0051)
        subtotal = amount_after(self, text, "Subtotal:")
        self.assertAlmostEqual(sum(lines), subtotal, delta=0.005 * len(lines) + 1e-6)
        total = (subtotal + amount_after(self, text, "Sales Tax:") + amount_after(self, text, "Shipping:")
                 + amount_after(self, text, "(Discount):"))
        self.assertAlmostEqual(total, amount_after(self, text, "Total Amount Payable:"), delta=0.0051)

    def check_receipt_figures(self, text, large):
        if large:
            rows = re.findall(rf"^\s*(\d+)\s+\S.*?\s(\d+)\s+{MONEY}\s+{MONEY}\s*$", text, re.M)
            self.assertTrue(15 <= len(rows) <= 100, len(rows))
            self.assertEqual([int(row[0]) for row in rows], list(range(1, len(rows) + 1)))
            lines = [money(row[3]) for row in rows]
        else:
            rows = re.findall(rf"(\d+) × {MONEY}\s+{MONEY}", text)
            self.assertTrue(2 <= len(rows) <= 5, rows)
            lines = [money(row[2]) for row in rows]
        subtotal = amount_after(self, text, "Subtotal:")
        total = amount_after(self, text, "TOTAL:")
        self.assertAlmostEqual(sum(lines), subtotal, delta=0.005 * len(lines) + 1e-6)
        if large:
            rate = re.search(r"Tax \((\d+\.\d)%\):", text)
            self.assertIsNotNone(rate)
            self.assertTrue(5.0 <= float(rate.group(1)) <= 12.0)
            figures = subtotal + amount_after(self, text, "Discount:") + amount_after(self, text, rate.group(0))
        else:
            figures = subtotal + amount_after(self, text, "Tax (8.75%):")
        self.assertAlmostEqual(figures, total, delta=0.0151)
        self.assertEqual(amount_after(self, text, "Amount Paid:"), total)
        self.assertEqual(amount_after(self, text, "Change:"), 0.0)
        thanks = "THANK YOU FOR YOUR PURCHASE!" if large else "Thank you for your purchase!"
        self.assertEqual(text.count(thanks), 1)

    def test_every_form_and_seed(self):
        for (content, form), (footer, floor) in DOCUMENTS.items():
            for seed in SEEDS:
                with self.subTest(content=content, form=form, seed=seed):
                    path = self.generate("--ext", "pdf", "--content", content, "--form", form,
                                         "--seed", str(seed))
                    self.assertRegex(os.path.basename(path), rf"^{content.lower()}_{form}_{STAMP}\.pdf$")
                    count = self.check_pages(path, footer, floor)
                    if form == "small":
                        self.assertEqual(count, 1)
                    text = pdfcheck.layout_text(path)
                    if content == "Invoice":
                        self.check_invoice_figures(text, form == "large")
                    else:
                        self.check_receipt_figures(text, form == "large")
                    self.assertEqual(pdfcheck.unembedded_fonts(path), [])
                    os.remove(path)

    def test_size_is_ignored(self):
        sizes = []
        for size in ("50", "1"):
            path = self.generate("--ext", "pdf", "--content", "Invoice", "--form", "small", "--mode", "By Size",
                                 "--size", size, "--seed", "3")
            self.assertRegex(os.path.basename(path), rf"^invoice_small_{STAMP}\.pdf$")
            sizes.append(os.path.getsize(path))
            self.assertEqual(pdfcheck.page_count(path), 1)
            os.remove(path)
        self.assertEqual(sizes[0], sizes[1])
        self.assertLess(sizes[0], 1_000_000)


if __name__ == "__main__":
    unittest.main()
