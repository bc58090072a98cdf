"""Readers for the PDF end-to-end tests: qpdf, pdffonts, pdfinfo and
pdftotext -bbox, with their results as plain Python values."""

import re
import subprocess


def tool(*command):
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


def qpdf_check(path):
    """qpdf --check's exit code and output."""
    result = tool("qpdf", "--check", path)
    return result.returncode, result.stdout + result.stderr


def unembedded_fonts(path):
    """The pdffonts lines of fonts that are not embedded."""
    lines = tool("pdffonts", path).stdout.splitlines()[2:]
    return [line for line in lines if line.split()[-5] != "yes"]


def info(path):
    result = tool("pdfinfo", path)
    return dict((key.strip(), value.strip()) for key, value in
                (line.split(":", 1) for line in result.stdout.splitlines() if ":" in line))


def page_count(path):
    return int(info(path)["Pages"])


class Word:
    __slots__ = ("x_min", "y_min", "x_max", "y_max", "text")

    def __init__(self, x_min, y_min, x_max, y_max, text):
        self.x_min, self.y_min, self.x_max, self.y_max, self.text = x_min, y_min, x_max, y_max, text

    def __repr__(self):
        return f"{self.text!r}@({self.x_min:.1f},{self.y_min:.1f},{self.x_max:.1f},{self.y_max:.1f})"


class Page:
    """One page of pdftotext -bbox: its size in points and its words, with
    y measured from the top edge."""

    def __init__(self, width, height, words):
        self.width, self.height, self.words = width, height, words

    def text(self):
        return " ".join(word.text for word in self.words)

    def words_outside(self, left, top, right, bottom):
        """Words not wholly inside the box (left, top)–(right, bottom)."""
        return [w for w in self.words
                if w.x_min < left or w.y_min < top or w.x_max > right or w.y_max > bottom]

    def words_near_edges(self, margin):
        """Words closer than `margin` points to any edge of the page."""
        return self.words_outside(margin, margin, self.width - margin, self.height - margin)


_PAGE = re.compile(r'<page width="([\d.]+)" height="([\d.]+)">(.*?)</page>', re.S)
_WORD = re.compile(r'<word xMin="([-\d.]+)" yMin="([-\d.]+)" xMax="([-\d.]+)" yMax="([-\d.]+)">([^<]*)</word>')


def _unescape(text):
    return (text.replace("&lt;", "<").replace("&gt;", ">").replace("&quot;", '"')
            .replace("&apos;", "'").replace("&amp;", "&"))


def pages(path):
    """Every page of the PDF with its words, in reading order."""
    result = tool("pdftotext", "-bbox", path, "-")
    if result.returncode != 0:
        raise AssertionError(f"pdftotext failed on {path}: {result.stderr}")
    found = []
    for width, height, body in _PAGE.findall(result.stdout):
        words = [Word(float(a), float(b), float(c), float(d), _unescape(text))
                 for a, b, c, d, text in _WORD.findall(body)]
        found.append(Page(float(width), float(height), words))
    return found


def layout_text(path):
    """pdftotext -layout of the whole document: one string, pages split by form feeds."""
    result = tool("pdftotext", "-layout", path, "-")
    if result.returncode != 0:
        raise AssertionError(f"pdftotext failed on {path}: {result.stderr}")
    return result.stdout
