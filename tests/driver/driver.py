"""Shared helpers for the end-to-end tests: run stubforge-driver in fresh XDG
directories and find what it wrote."""

import os
import resource
import subprocess
import tempfile
import unittest


DRIVER = os.environ.get("STUBFORGE_DRIVER", "")


def ulimit_file_size(blocks):
    """A preexec_fn limiting the files the driver may write to `blocks` KiB,
    as `ulimit -f` does."""
    def apply():
        limit = blocks * 1024
        resource.setrlimit(resource.RLIMIT_FSIZE, (limit, limit))
    return apply


class DriverTestCase(unittest.TestCase):
    """Each test gets its own XDG data, config and cache homes."""

    def setUp(self):
        if not DRIVER:
            self.skipTest("STUBFORGE_DRIVER is not set")
        self._home = tempfile.TemporaryDirectory(prefix="stubforge-e2e-")
        self.home = self._home.name
        self.env = dict(os.environ)
        for name in ("XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME"):
            path = os.path.join(self.home, name.lower())
            os.makedirs(path)
            self.env[name] = path
        self.env["HOME"] = self.home
        self.output_folder = os.path.join(self.env["XDG_DATA_HOME"], "Stubforge")

    def tearDown(self):
        self._home.cleanup()

    def run_driver(self, *arguments, env=None, check=None, preexec_fn=None, stdin=None):
        """Runs the driver; check=True asserts exit 0, check=False asserts exit 1."""
        result = subprocess.run([DRIVER, *arguments], capture_output=True, text=True,
                                env=env or self.env, preexec_fn=preexec_fn, stdin=stdin, timeout=300)
        if check is True:
            self.assertEqual(result.returncode, 0, f"driver failed: {result.stderr}")
        elif check is False:
            self.assertEqual(result.returncode, 1, f"driver should refuse: {result.stdout}")
        return result

    def generate(self, *arguments, **options):
        """Runs `generate` expecting success; returns the path it printed,
        the only line of its standard output."""
        result = self.run_driver("generate", *arguments, check=True, **options)
        lines = result.stdout.splitlines()
        self.assertEqual(len(lines), 1, result.stdout)
        path = lines[0]
        self.assertTrue(os.path.isfile(path), f"no file at {path!r}")
        return path

    def output_files(self, folder=None):
        folder = folder or self.output_folder
        if not os.path.isdir(folder):
            return []
        return sorted(os.listdir(folder))
