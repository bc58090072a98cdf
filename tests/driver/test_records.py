"""generate for csv by columns and json: the files are read back with
Python's csv and json modules; the column and field tables are built as the
window builds them."""

import csv
import json
import os
import re
import subprocess
import sys

from driver import DriverTestCase

STAMP = r"\d{14}"
STREET_ADDRESS = re.compile(r"^\d+ \S.*$")


class RecordsTest(DriverTestCase):
    def read_csv(self, path):
        with open(path, encoding="utf-8", newline="") as file:
            return list(csv.reader(file))

    def read_json(self, path):
        # json.tool is the reader the file has to satisfy as a whole.
        subprocess.run([sys.executable, "-m", "json.tool", path], check=True, capture_output=True)
        with open(path, encoding="utf-8") as file:
            return json.load(file)

    def assert_records(self, rows, header, width):
        self.assertEqual(rows[0], header)
        self.assertEqual(len(rows), 101)
        for row in rows[1:]:
            self.assertEqual(len(row), width, row)

    def test_three_columns(self):
        path = self.generate("--ext", "csv", "--criteria", "By Columns", "--columns", "3")
        self.assertEqual(os.path.dirname(path), self.output_folder)
        self.assertRegex(os.path.basename(path), rf"^document_3columns_{STAMP}\.csv$")
        rows = self.read_csv(path)
        self.assert_records(rows, ["Column1", "Column2", "Column3"], 3)
        # The table was brought to three street-address columns.
        for row in rows[1:]:
            for value in row:
                self.assertRegex(value, STREET_ADDRESS)

    def test_paragraphs_stay_in_their_field(self):
        path = self.generate("--ext", "csv", "--column", "story=Lorem - Paragraphs",
                             "--column", "who=Name - Name", "--column", "dept=Commerce - Department")
        self.assertRegex(os.path.basename(path), rf"^document_3columns_{STAMP}\.csv$")
        rows = self.read_csv(path)
        self.assert_records(rows, ["story", "who", "dept"], 3)
        for story, _, department in rows[1:]:
            self.assertEqual(story.count("\n"), 2)
            self.assertNotIn(",", department)
        with open(path, encoding="utf-8") as file:
            self.assertGreater(len(file.read().splitlines()), 101)

    def test_template_header_with_a_comma(self):
        template = os.path.join(self.home, "template.csv")
        with open(template, "w", encoding="utf-8", newline="") as file:
            file.write('"last, first",id,"note ""x"""\n1,2,3\n')
        names = json.loads(self.run_driver("csv-header", template, check=True).stdout)
        self.assertEqual(names, ["last, first", "id", 'note "x"'])
        types = ["Name - Name", "App - Version", "Lorem - Sentence"]
        arguments = []
        for name, kind in zip(names, types):
            arguments += ["--column", f"{name}={kind}"]
        path = self.generate("--ext", "csv", "--columns", "3", *arguments)
        self.assert_records(self.read_csv(path), names, 3)

    def test_typed_counts_resize_the_given_columns(self):
        path = self.generate("--ext", "csv", "--columns", "3", "--column", "mail=Internet - Email")
        rows = self.read_csv(path)
        self.assert_records(rows, ["mail", "Column2", "Column3"], 3)
        self.assertIn("@", rows[1][0])
        self.assertRegex(rows[1][2], STREET_ADDRESS)

        path = self.generate("--ext", "csv", "--columns", "1", "--column", "a=Name - Name",
                             "--column", "b=Name - Name")
        self.assert_records(self.read_csv(path), ["a"], 1)

    def test_bad_rows_are_refused(self):
        for argument in ("nameonly", "a=Address - Nowhere", "a=address - city"):
            with self.subTest(argument=argument):
                result = self.run_driver("generate", "--ext", "csv", "--column", argument, check=False)
                self.assertIn(argument.split("=")[-1], result.stderr)
        self.assertEqual(self.output_files(), [])

    def test_json_records(self):
        path = self.generate("--ext", "json", "--rows", "5", "--field", "b=Name - Name",
                             "--field", "a=Internet - Email")
        self.assertRegex(os.path.basename(path), rf"^document_5rows_{STAMP}\.json$")
        records = self.read_json(path)
        self.assertEqual(len(records), 5)
        for record in records:
            self.assertEqual(list(record), ["a", "b"])
            self.assertTrue(all(isinstance(value, str) for value in record.values()))
            self.assertIn("@", record["a"])
        with open(path, encoding="utf-8") as file:
            text = file.read()
        self.assertTrue(text.startswith("[{") and text.endswith("}]"), text[:20])

    def test_json_without_records(self):
        path = self.generate("--ext", "json", "--rows", "0")
        self.assertRegex(os.path.basename(path), rf"^document_0rows_{STAMP}\.json$")
        with open(path, encoding="utf-8") as file:
            self.assertEqual(file.read(), "[]")
        self.assertEqual(self.read_json(path), [])

    def test_json_default_fields_and_duplicates(self):
        # The typed field count (5 at first launch) brings the table to five.
        records = self.read_json(self.generate("--ext", "json", "--rows", "2"))
        self.assertEqual(sorted(records[0]), ["Field1", "Field2", "Field3", "Field4", "Field5"])

        path = self.generate("--ext", "json", "--rows", "3", "--field", "x=Name - Name",
                             "--field", "x=Internet - Email")
        for record in self.read_json(path):
            self.assertEqual(list(record), ["x"])
            self.assertIn("@", record["x"])

    def test_expiry_dates_ignore_the_time_zone(self):
        contents = []
        for zone in ("Asia/Tokyo", "America/Los_Angeles"):
            env = dict(self.env, TZ=zone)
            path = self.generate("--ext", "json", "--rows", "20", "--seed", "9",
                                 "--field", "expires=Business - Credit Card Expiry Date", env=env)
            with open(path, encoding="utf-8") as file:
                contents.append(file.read())
            os.remove(path)
        self.assertEqual(contents[0], contents[1])
        for record in json.loads(contents[0]):
            self.assertRegex(record["expires"], r"^\d{4}-\d\d-\d\dT00:00:00Z$")

        samples = [self.run_driver("sample", "--kind", "Business - Credit Card Expiry Date", "--count", "30",
                                   "--seed", "4", env=dict(self.env, TZ=zone), check=True).stdout
                   for zone in ("Asia/Tokyo", "America/Los_Angeles")]
        self.assertEqual(samples[0], samples[1])
