import os
import plistlib
import sys
import time
import unittest

from driver import DriverTestCase

SUITE = "org.stubforge.Stubforge.plist"


def random_bytes(count):
    import random
    generator = random.Random(20240611)
    return bytes(generator.getrandbits(8) for _ in range(count))


def large_valid_xml(size):
    """A settings dictionary of about `size` bytes that every plist reader accepts."""
    entry = "<key>k{:09d}</key><string>" + "x" * 64 + "</string>"
    count = size // len(entry.format(0))
    body = "".join(entry.format(i) for i in range(count))
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0"><dict>'
            + body + "</dict></plist>\n").encode()


def writer(data):
    def write(path):
        with open(path, "wb") as handle:
            handle.write(data)
    return write


class SettingsFilesTest(DriverTestCase):
    """Whatever stands where the settings file belongs, the program starts and
    generates with the default settings."""

    def settings_path(self):
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "Stubforge")
        os.makedirs(folder, exist_ok=True)
        return os.path.join(folder, SUITE)

    def test_unreadable_settings_give_the_defaults(self):
        nul_in_string = plistlib.dumps({"useCustomFolder": True, "customFolderPath": "/x\0y"},
                                       fmt=plistlib.FMT_BINARY)
        self.assertEqual(plistlib.loads(nul_in_string)["customFolderPath"], "/x\0y")
        cases = {
            "random bytes": writer(random_bytes(65536)),
            "binary plist with NUL in a string": writer(nul_in_string),
            "FIFO": os.mkfifo,
            "link to /dev/zero": lambda path: os.symlink("/dev/zero", path),
            "directory": os.mkdir,
            "100 MB of valid XML": writer(large_valid_xml(100_000_000)),
        }
        for name, make in cases.items():
            with self.subTest(name):
                path = self.settings_path()
                make(path)
                started = time.monotonic()
                result = self.run_driver("generate", "--ext", "txt", "--size", "0.01", check=True)
                elapsed = time.monotonic() - started
                print(f"{name}: generate took {elapsed:.2f} s", file=sys.stderr)
                written = result.stdout.strip().splitlines()[-1]
                self.assertEqual(os.path.dirname(written), self.output_folder)
                self.assertEqual(os.path.getsize(written), 10_000)
                self.assertIn(f'Could not read settings file "{path}"', result.stderr)
                # Reading never changes what stands there.
                self.assertTrue(os.path.lexists(path))
                self.assertEqual(os.listdir(os.path.dirname(path)), [SUITE])
                if os.path.isdir(path) and not os.path.islink(path):
                    os.rmdir(path)
                else:
                    os.remove(path)


if __name__ == "__main__":
    unittest.main()
