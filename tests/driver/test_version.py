import re

from driver import DriverTestCase


class VersionTest(DriverTestCase):
    def test_prints_version_from_bundle(self):
        result = self.run_driver("--version", check=True)
        self.assertRegex(result.stdout, r"^stubforge-driver \d+\.\d+\.\d+ \(\d+\)$")

    def test_unknown_command_is_a_usage_error(self):
        result = self.run_driver("frobnicate")
        self.assertEqual(result.returncode, 2)
        self.assertIn("usage:", result.stderr)
