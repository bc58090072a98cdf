"""sample: values of the 91 column value types as the JSON writer draws them,
checked for holes and shapes, and replayed by seed."""

import collections
import datetime
import json
import re

from driver import DriverTestCase

EMAIL = re.compile(r"^[a-z0-9._%+-]+@[a-z0-9-]+(\.[a-z0-9-]+)+$")
URL = re.compile(r"^https?://[a-z0-9-]+(\.[a-z0-9-]+)+(/[^\s]*)?$")
IPV4 = re.compile(r"^(\d{1,3})\.(\d{1,3})\.(\d{1,3})\.(\d{1,3})$")
IPV6 = re.compile(r"^[0-9A-Fa-f]{1,4}(:[0-9A-Fa-f]{1,4}){7}$")
PRICE = re.compile(r"^\d{1,2}\.\d{1,2}$")
PASSWORD = re.compile(r"^[A-Za-z0-9]{8,16}$")
EXPIRY = re.compile(r"^(\d{4}-\d\d-\d\d)T00:00:00Z$")
NUMBER = re.compile(r"^-?\d+\.\d+(e[-+]\d\d+)?$|^-?\d(\.\d+)?e[-+]\d\d+$")
HASHTAG = re.compile(r"^#[A-Za-z0-9_]+$")
DOMAIN_NAME = re.compile(r"^[a-z0-9]+(\.[a-z0-9-]+)+$")
DOMAIN_WORD = re.compile(r"^[a-z0-9]+$")

SHAPES = {
    "Internet - Email": EMAIL,
    "Internet - Free Email": EMAIL,
    "Internet - Safe Email": EMAIL,
    "Internet - URL": URL,
    "Internet - Image": URL,
    "Internet - Template Image": URL,
    "Company - Logo URL": URL,
    "Internet - IPv6 Address": IPV6,
    "Commerce - Price": PRICE,
    "Internet - Password": PASSWORD,
    "Internet - Hash Tag": HASHTAG,
    "Internet - Domain Name": DOMAIN_NAME,
    "Internet - Domain Word": DOMAIN_WORD,
    "Address - Latitude": NUMBER,
    "Address - Longitude": NUMBER,
}


class SampleTest(DriverTestCase):
    def sample(self, *arguments):
        return self.run_driver("sample", *arguments, check=True).stdout

    def test_every_kind_every_draw(self):
        draws = 2000
        output = self.sample("--all-kinds", "--count", str(draws), "--seed", "1")
        lines = output.splitlines()
        values = collections.defaultdict(list)
        order = []
        for line in lines:
            item = json.loads(line)
            self.assertEqual(set(item), {"kind", "value"})
            self.assertIsInstance(item["value"], str)
            if item["kind"] not in values:
                order.append(item["kind"])
            values[item["kind"]].append(item["value"])
        self.assertEqual(len(order), 91)
        self.assertEqual(order[0], "Address - Building Number")
        self.assertEqual(order[-1], "Vehicle - Manufacture")
        self.assertEqual(len(lines), 91 * draws)

        for kind, kind_values in values.items():
            self.assertEqual(len(kind_values), draws, kind)
            shape = SHAPES.get(kind)
            for value in kind_values:
                self.assertTrue(value, f"{kind} gave an empty value")
                self.assertNotIn("#{", value, kind)
                self.assertNotIn("?", value, f"{kind}: {value!r}")
                if kind != "Internet - Hash Tag":
                    self.assertNotIn("#", value, f"{kind}: {value!r}")
                if shape is not None:
                    self.assertRegex(value, shape, kind)

        for value in values["Internet - IPv4 Address"]:
            match = IPV4.match(value)
            self.assertIsNotNone(match, value)
            self.assertTrue(all(0 <= int(octet) <= 255 for octet in match.groups()), value)
        for value in values["Commerce - Price"]:
            self.assertTrue(0 <= float(value) < 100, value)
        for value in values["Business - Credit Card Expiry Date"]:
            match = EXPIRY.match(value)
            self.assertIsNotNone(match, value)
            datetime.date.fromisoformat(match.group(1))
        for value in values["Address - Latitude"]:
            self.assertTrue(-90 <= float(value) <= 90, value)
        for value in values["Address - Longitude"]:
            self.assertTrue(-180 <= float(value) <= 180, value)
        for value in values["Lorem - Paragraphs"]:
            self.assertEqual(value.count("\n"), 2, value)

    def test_one_kind(self):
        output = self.sample("--kind", "Address - City", "--count", "4", "--seed", "3")
        lines = output.splitlines()
        self.assertEqual(len(lines), 4)
        for line in lines:
            value = json.loads(line)
            self.assertIsInstance(value, str)
            self.assertTrue(value)
        self.assertEqual(len(self.sample("--kind", "Internet - Email").splitlines()), 1)
        self.assertEqual(self.sample("--kind", "Internet - Email", "--count", "0"), "")

    def test_seeds_replay(self):
        first = self.sample("--all-kinds", "--count", "20", "--seed", "7")
        self.assertEqual(first, self.sample("--all-kinds", "--count", "20", "--seed", "7"))
        self.assertNotEqual(first, self.sample("--all-kinds", "--count", "20", "--seed", "8"))
        unseeded = self.sample("--all-kinds", "--count", "20")
        self.assertNotEqual(unseeded, self.sample("--all-kinds", "--count", "20"))

    def test_refusals(self):
        result = self.run_driver("sample", "--kind", "Phone Number - Phone Number", check=False)
        self.assertIn("Phone Number - Phone Number", result.stderr)
        self.assertEqual(result.stdout, "")
        for arguments in (["--all-kinds", "--kind", "Address - City"], [], ["--all-kinds", "--count", "-1"],
                          ["--all-kinds", "--seed", "x"]):
            with self.subTest(arguments=arguments):
                self.assertEqual(self.run_driver("sample", *arguments).returncode, 2)
