"""csv-header: the CSV template import's column names as a JSON array, or
its error message on standard error and status 1."""

import csv
import io
import json
import os

from driver import DriverTestCase


class CsvHeaderTest(DriverTestCase):
    def write(self, name, data):
        path = os.path.join(self.home, name)
        with open(path, "wb") as file:
            file.write(data)
        return path

    def header(self, path):
        result = self.run_driver("csv-header", path, check=True)
        self.assertEqual(result.stderr, "")
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 1, result.stdout)
        return json.loads(lines[0])

    def python_header(self, path, delimiter):
        with open(path, encoding="utf-8-sig", newline="") as file:
            return next(csv.reader(file, delimiter=delimiter))

    def assert_refused(self, path, reason):
        result = self.run_driver("csv-header", path, check=False)
        self.assertEqual(result.stdout, "")
        self.assertEqual(result.stderr, "Error reading CSV file: " + reason + "\n")

    def test_byte_order_mark_and_crlf(self):
        path = self.write("bom.csv", b"\xef\xbb\xbfa,b\r\n1,2\r\n3,4\r\n")
        self.assertEqual(self.header(path), ["a", "b"])
        self.assertEqual(self.python_header(path, ","), ["a", "b"])

    def test_semicolon_and_tab_files(self):
        for name, delimiter, expected in (
            ("semicolon.csv", ";", ["id", "name", "e-mail, work"]),
            ("tab.tsv", "\t", ["id", "na\u00efve name", "\u65e5\u672c"]),
        ):
            with self.subTest(name):
                text = delimiter.join(f'"{cell}"' if "," in cell else cell for cell in expected)
                path = self.write(name, (text + "\n1" + delimiter + "2" + delimiter + "3\n").encode())
                self.assertEqual(self.header(path), expected)
                self.assertEqual(self.python_header(path, delimiter), expected)

    def test_invalid_utf8_is_refused(self):
        path = self.write("latin1.csv", "caf\u00e9,cr\u00e8me\n1,2\n".encode("latin-1"))
        self.assert_refused(path, "Text is not valid UTF-8 at byte 3")

    def test_malformed_data_row_keeps_header(self):
        path = self.write("malformed.csv", b'name,age\nAda,"3"6\nBob,"never closed\n')
        self.assertEqual(self.header(path), ["name", "age"])

    def test_empty_file_is_refused(self):
        self.assert_refused(self.write("empty.csv", b""), "the file has no header row")

    def test_headers_no_table_takes_are_refused(self):
        wide = ",".join(f"c{n}" for n in range(1, 301))
        for name, data, reason in (
            ("blank-first-line.csv", b"\n1,2\n", "the first line, the header, is empty"),
            ("wide.csv", (wide + "\n").encode(), "the header has 300 names; a table has at most 250 columns"),
        ):
            with self.subTest(name):
                path = self.write(name, data)
                result = self.run_driver("csv-header", path, check=False)
                self.assertEqual(result.returncode, 1)
                self.assert_refused(path, reason)
        widest = ",".join(f"c{n}" for n in range(1, 251))
        self.assertEqual(len(self.header(self.write("widest.csv", (widest + "\n").encode()))), 250)

    def test_missing_file_is_refused(self):
        path = os.path.join(self.home, "missing.csv")
        self.assert_refused(path, f'Could not open "{path}": No such file or directory')

    def test_devices_and_pipes_are_refused_without_reading(self):
        # /dev/zero never ends and a pipe without a writer never answers.
        pipe = os.path.join(self.home, "pipe.csv")
        os.mkfifo(pipe)
        for path in ("/dev/zero", pipe):
            with self.subTest(path):
                self.assert_refused(path, f'Could not read "{path}": not a regular file')

    def test_without_file_is_a_usage_error(self):
        result = self.run_driver("csv-header")
        self.assertEqual(result.returncode, 2)
        self.assertIn("usage:", result.stderr)
