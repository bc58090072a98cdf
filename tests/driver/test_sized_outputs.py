import os
import unittest

from driver import DriverTestCase, ulimit_file_size

RESOURCES = os.path.join(os.path.dirname(__file__), "..", "..", "resources")
STAMP = r"\d{14}"


class SizedOutputsTest(DriverTestCase):
    def test_base_file_naming_size_and_prefix(self):
        path = self.generate("--ext", "xlsx", "--size", "2.5")
        self.assertEqual(os.path.dirname(path), self.output_folder)
        self.assertRegex(os.path.basename(path), rf"^document_2_5MB_{STAMP}\.xlsx$")
        self.assertEqual(os.path.getsize(path), 2_500_000)
        with open(os.path.join(RESOURCES, "document.xlsx"), "rb") as base, open(path, "rb") as out:
            expected = base.read()
            self.assertEqual(out.read(len(expected)), expected)

    def test_every_base_kind(self):
        prefixes = {"docx": "document", "xlsx": "document", "pptx": "document", "png": "image",
                    "jpg": "image", "wav": "audio", "mp3": "audio", "mp4": "video", "zip": "archive",
                    "rar": "archive"}
        for ext, prefix in prefixes.items():
            with self.subTest(ext=ext):
                path = self.generate("--ext", ext, "--size", "0.01")
                self.assertRegex(os.path.basename(path), rf"^{prefix}_0_01MB_{STAMP}\.{ext}$")
                self.assertEqual(os.path.getsize(path), 10_000)
        path = self.generate("--ext", "csv", "--criteria", "By Size", "--size", "0.02")
        self.assertRegex(os.path.basename(path), rf"^document_0_02MB_{STAMP}\.csv$")
        self.assertEqual(os.path.getsize(path), 20_000)

    def test_txt_layout(self):
        path = self.generate("--ext", "txt", "--size", "25")
        self.assertRegex(os.path.basename(path), rf"^document_25MB_{STAMP}\.txt$")
        self.assertEqual(os.path.getsize(path), 25_000_000)
        filler = b"- Stubforge -"
        with open(path, "rb") as handle:
            for offset in (0, 10_000_000, 20_000_000):
                handle.seek(offset)
                self.assertEqual(handle.read(len(filler)), filler)
            handle.seek(10_000_000 - 10)
            self.assertEqual(handle.read(10), filler[:10])

    def test_models_are_byte_exact(self):
        for form in ("small", "large"):
            with self.subTest(form=form):
                path = self.generate("--ext", "usdz", "--form", form)
                self.assertRegex(os.path.basename(path), rf"^3D_model_{form}_{STAMP}\.usdz$")
                with open(os.path.join(RESOURCES, f"3D_model_{form}.usdz"), "rb") as model, \
                        open(path, "rb") as out:
                    self.assertEqual(out.read(), model.read())

    def test_write_failure_leaves_nothing(self):
        result = self.run_driver("generate", "--ext", "png", "--size", "5",
                                 preexec_fn=ulimit_file_size(2000), check=False)
        self.assertIn(self.output_folder, result.stderr)
        self.assertEqual(self.output_files(), [])

    def test_unwritable_custom_folder_falls_back(self):
        blocked = os.path.join(self.home, "blocked")
        # The probe cannot be written where a folder holds its name.
        os.makedirs(os.path.join(blocked, ".stubforge_test_permissions", "inside"))
        self.set_defaults(useCustomFolder=True, customFolderPath="file://" + blocked)
        result = self.run_driver("generate", "--ext", "txt", "--size", "0.01", check=True)
        # The notice is a message; the path alone is the result.
        self.assertRegex(result.stderr, r"^Custom folder not writable: .*\n$")
        self.assertIn(blocked, result.stderr)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 1, result.stdout)
        self.assertEqual(os.path.dirname(lines[0]), self.output_folder)
        self.assertTrue(os.path.isfile(lines[0]))

    def test_writable_custom_folder_is_used(self):
        custom = os.path.join(self.home, "my out")
        os.makedirs(custom)
        self.set_defaults(useCustomFolder=True, customFolderPath="file://" + custom.replace(" ", "%20"))
        path = self.generate("--ext", "txt", "--size", "0.01")
        self.assertEqual(os.path.dirname(path), custom)
        self.assertEqual(sorted(os.listdir(custom)), [os.path.basename(path)])

    def test_bad_sizes_are_refused(self):
        for size in ("0", "-1", "nan", "1e30", "abc", ""):
            with self.subTest(size=size):
                self.run_driver("generate", "--ext", "txt", "--size", size, check=False)
        self.assertEqual(self.output_files(), [])

    def test_collisions_in_one_second_give_two_files(self):
        first = self.generate("--ext", "zip", "--size", "0.01")
        second = self.generate("--ext", "zip", "--size", "0.01")
        self.assertNotEqual(first, second)
        self.assertEqual(len(self.output_files()), 2)

    def set_defaults(self, **values):
        """Writes the standard settings suite as the preferences window would."""
        folder = os.path.join(self.env["XDG_CONFIG_HOME"], "Stubforge")
        os.makedirs(folder, exist_ok=True)
        import plistlib
        with open(os.path.join(folder, "org.stubforge.Stubforge.plist"), "wb") as handle:
            plistlib.dump(values, handle)


if __name__ == "__main__":
    unittest.main()
