"""What the driver prints: its result alone on standard output, messages on
standard error, a failure status when the result cannot be written, and a
--help that names what each option accepts."""

import json
import os
import subprocess
import unittest

from driver import DRIVER, DriverTestCase

GENERATE_HEADINGS = ("Extensions (--ext)", "Contents (--content)", "Modes (--mode)", "Forms (--form)",
                     "Criteria (--criteria)")
KINDS_HEADING = "Value kinds (--kind, --column NAME=KIND, --field NAME=KIND)"


def name_lists(text):
    """The lists of a help text: each heading line ending in ":" and the
    names indented under it."""
    lists = {}
    current = None
    for line in text.splitlines():
        if line.endswith(":") and not line.startswith(" "):
            current = lists.setdefault(line[:-1], [])
        elif current is not None and line.startswith("  ") and line.strip():
            current.append(line[2:])
        else:
            current = None
    return lists


class OutputTest(DriverTestCase):
    def help(self, *command):
        result = self.run_driver(*command, "--help", check=True)
        self.assertEqual(result.stderr, "")
        return result.stdout

    def kinds(self):
        lines = self.run_driver("sample", "--all-kinds", "--count", "1", check=True).stdout.splitlines()
        return [json.loads(line)["kind"] for line in lines]

    def assert_option_accepted(self, *arguments):
        # A size and a page count of 0 stop the form after every option was
        # read, so only an unknown name is refused for its name.
        result = self.run_driver("generate", *arguments, "--size", "0", "--pages", "0", check=False)
        self.assertNotIn("Unknown value", result.stderr, arguments)
        self.assertEqual(result.stdout, "")

    def test_help_names_what_every_option_accepts(self):
        text = self.help()
        for command in ("generate", "sample", "csv-header"):
            self.assertIn(f"usage: stubforge-driver {command}", text)
        lists = name_lists(text)
        self.assertEqual(lists[KINDS_HEADING], self.kinds())
        for heading in GENERATE_HEADINGS:
            self.assertTrue(lists.get(heading), heading)

        # Every extension listed makes a file of that extension.
        for extension in lists["Extensions (--ext)"]:
            with self.subTest(extension=extension):
                path = self.generate("--ext", extension, "--size", "0.01")
                self.assertTrue(path.endswith("." + extension), path)
        for heading, option in (("Contents (--content)", "--content"), ("Modes (--mode)", "--mode"),
                                ("Forms (--form)", "--form"), ("Criteria (--criteria)", "--criteria")):
            for name in lists[heading]:
                with self.subTest(option=option, name=name):
                    self.assert_option_accepted("--ext", "pdf", option, name)
        refused = self.run_driver("generate", "--ext", "pdf", "--content", "Nonsense", "--size", "0", check=False)
        self.assertIn("Unknown value", refused.stderr)

    def test_each_command_has_help(self):
        kinds = self.kinds()
        generate = self.help("generate")
        self.assertTrue(generate.startswith("usage: stubforge-driver generate"), generate)
        lists = name_lists(generate)
        for heading in GENERATE_HEADINGS:
            self.assertTrue(lists.get(heading), heading)
        self.assertEqual(lists[KINDS_HEADING], kinds)

        sample = self.help("sample")
        self.assertTrue(sample.startswith("usage: stubforge-driver sample"), sample)
        self.assertEqual(name_lists(sample)[KINDS_HEADING], kinds)

        csv_header = self.help("csv-header")
        self.assertTrue(csv_header.startswith("usage: stubforge-driver csv-header FILE"), csv_header)
        self.assertEqual(self.output_files(), [])

    def test_a_result_that_cannot_be_written_fails(self):
        if not os.path.exists("/dev/full"):
            self.skipTest("no /dev/full here")
        template = os.path.join(self.home, "template.csv")
        with open(template, "w", encoding="utf-8") as file:
            file.write("a,b\n1,2\n")
        commands = (
            ["--version"],
            ["--help"],
            ["generate", "--help"],
            ["generate", "--ext", "txt", "--size", "0.01"],
            ["csv-header", template],
            ["sample", "--kind", "Address - City", "--count", "3"],
            ["sample", "--all-kinds", "--count", "2000"],
        )
        for command in commands:
            with self.subTest(command=command):
                with open("/dev/full", "w") as full:
                    result = subprocess.run([DRIVER, *command], stdout=full, stderr=subprocess.PIPE, text=True,
                                            env=self.env, timeout=300)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn("could not write the result: No space left on device", result.stderr)

    def test_unreadable_template_gives_nothing_on_standard_output(self):
        folder = os.path.join(self.home, "folder.csv")
        os.makedirs(folder)
        cases = [(folder, f'Could not read "{folder}": Is a directory')]
        locked = os.path.join(self.home, "locked.csv")
        with open(locked, "w", encoding="utf-8") as file:
            file.write("a,b\n")
        os.chmod(locked, 0)
        if os.geteuid() != 0:  # root reads it anyway
            cases.append((locked, f'Could not open "{locked}": Permission denied'))
        for path, reason in cases:
            with self.subTest(path=path):
                result = self.run_driver("csv-header", path, check=False)
                self.assertEqual(result.stdout, "")
                self.assertEqual(result.stderr, "Error reading CSV file: " + reason + "\n")


if __name__ == "__main__":
    unittest.main()
