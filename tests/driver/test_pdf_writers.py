import os
import re
import subprocess
import unittest

from driver import DriverTestCase, ulimit_file_size

STAMP = r"\d{14}"
LINE = "- Stubforge -"


def tool(*command):
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


class PdfWritersTest(DriverTestCase):
    def assert_valid_pdf(self, path):
        check = tool("qpdf", "--check", path)
        self.assertEqual(check.returncode, 0, check.stdout + check.stderr)

    def info(self, path):
        result = tool("pdfinfo", path)
        self.assertEqual(result.returncode, 0, result.stderr)
        return dict(line.split(":", 1) for line in result.stdout.splitlines() if ":" in line)

    def words_by_page(self, path):
        result = tool("pdftotext", "-bbox", path, "-")
        self.assertEqual(result.returncode, 0, result.stderr)
        pages = []
        for chunk in result.stdout.split("<page ")[1:]:
            words = re.findall(r'<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>',
                               chunk)
            pages.append([(float(a), float(b), float(c), float(d), text) for a, b, c, d, text in words])
        return pages

    def test_by_pages(self):
        path = self.generate("--ext", "pdf", "--content", "Dummy", "--mode", "By Pages", "--pages", "7")
        self.assertEqual(os.path.dirname(path), self.output_folder)
        self.assertRegex(os.path.basename(path), rf"^document_7pages_{STAMP}\.pdf$")
        self.assert_valid_pdf(path)
        info = self.info(path)
        self.assertEqual(info["Pages"].strip(), "7")
        self.assertEqual(info["Page size"].strip(), "612 x 792 pts (letter)")
        pages = self.words_by_page(path)
        self.assertEqual(len(pages), 7)
        for number, words in enumerate(pages, start=1):
            with self.subTest(page=number):
                self.assertEqual(" ".join(word[4] for word in words), LINE)
                centre = (words[0][0] + words[-1][2]) / 2
                self.assertAlmostEqual(centre, 306, delta=1)
                # The baseline stands 378 pt above the bottom edge: 414 pt from the top.
                self.assertLess(words[1][1], 414)
                self.assertGreater(words[1][3], 414)
        fonts = tool("pdffonts", path).stdout.splitlines()[2:]
        self.assertTrue(fonts)
        for line in fonts:
            emb = line.split()[-5]
            self.assertEqual(emb, "yes", line)

    def test_page_count_text_names_the_file(self):
        path = self.generate("--ext", "pdf", "--mode", "By Pages", "--pages", "007")
        self.assertRegex(os.path.basename(path), rf"^document_007pages_{STAMP}\.pdf$")
        self.assertEqual(self.info(path)["Pages"].strip(), "7")

    def test_by_size_is_exact_and_valid(self):
        for size, expected in (("0.01", 10_000), ("1.5", 1_500_000), ("50", 50_000_000)):
            with self.subTest(size=size):
                path = self.generate("--ext", "pdf", "--content", "Dummy", "--mode", "By Size", "--size", size)
                label = size.replace(".", "_")
                self.assertRegex(os.path.basename(path), rf"^document_{label}MB_{STAMP}\.pdf$")
                self.assertEqual(os.path.getsize(path), expected)
                self.assert_valid_pdf(path)
                self.assertEqual(self.info(path)["Pages"].strip(), "2")
                with open(path, "rb") as handle:
                    handle.seek(-64, os.SEEK_END)
                    self.assertTrue(handle.read().endswith(b"%%EOF\n"))
                os.remove(path)

    def test_refusals_write_nothing(self):
        for pages in ("0", "-3", "1001", "x"):
            with self.subTest(pages=pages):
                result = self.run_driver("generate", "--ext", "pdf", "--content", "Dummy", "--mode", "By Pages",
                                         "--pages", pages, check=False)
                self.assertIn("page count", result.stderr)
        self.assertEqual(self.output_files(), [])

    def test_write_failure_leaves_nothing(self):
        result = self.run_driver("generate", "--ext", "pdf", "--mode", "By Size", "--size", "5",
                                 preexec_fn=ulimit_file_size(2000), check=False)
        self.assertIn(self.output_folder, result.stderr)
        self.assertEqual(self.output_files(), [])


if __name__ == "__main__":
    unittest.main()
