#!/usr/bin/python3
"""The installed tree and the two Debian packages (korvel-proc-core: the plugin, configuration,
documents reference and schemas; korvel-replay: the tool, the daemon library stand-in in a private
directory of its own, the examples): what lands where, and that the installed korvel-replay plays
the demo with no option but the scenario, and the example capture with the installed
configuration, from the staging directory, without LD_LIBRARY_PATH, loading the daemon library
stand-in and the plugin installed beside it.

    /usr/bin/python3 tests/docs/test_install.py --build DIR --source DIR --prefix P \\
        --bindir D --libdir D --docdir D --config-file F --version V --cmake CMAKE \\
        --cpack CPACK [unittest options]

--bindir, --libdir and --docdir are relative to the prefix (or absolute), --config-file is the
example configuration's full installed path; all as the build was configured.
"""

import argparse
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

ARGS = None
SCHEMA_NAMES = ["flow", "flow_dpi_update", "flow_dpi_complete", "flow_purge", "flow_stats",
                "agent_hello", "agent_status", "interfaces", "endpoints", "interface_stats",
                "global_stats", "legacy"]


def clean_env(**extra):
    env = {k: v for k, v in os.environ.items() if k not in ("LD_LIBRARY_PATH", "LD_PRELOAD")}
    env.update(extra)
    return env


def under(root, path):
    """path (absolute, or relative to the prefix) inside the staged tree root."""
    if os.path.isabs(path):
        return os.path.join(root, path.lstrip("/"))
    return os.path.join(root, ARGS.prefix.lstrip("/"), path)


def normalized(records):
    """Output records without what varies between runs: the status timestamp and the order of
    arrays filled from the daemon's hash tables."""
    for record in records:
        payload = record["payload"]
        payload.pop("timestamp", None)
        kind = payload.get("type")
        maps = {"interfaces": ({k: v for k, v in payload.items() if k != "type"}, {}, {}),
                "endpoints": ({}, {k: v for k, v in payload.items() if k != "type"}, {}),
                None: (payload.get("interfaces") or {}, payload.get("devices") or {},
                       payload.get("flows") or {})}.get(kind, ({}, {}, {}))
        for iface in maps[0].values():
            iface.get("addr", []).sort()
        for addresses in maps[1].values():
            addresses.sort()
        for flows in maps[2].values():
            flows.sort(key=lambda flow: flow["digest"])
    return records


def readelf(path):
    return subprocess.run(["readelf", "-d", path], capture_output=True, text=True,
                          check=True).stdout


def read_records(text):
    return [json.loads(line) for line in text.splitlines() if line.strip()]


def replay_docdir():
    """The replay tool's documentation directory, beside the plugin's."""
    return os.path.join(os.path.dirname(ARGS.docdir.rstrip("/")), "korvel-replay")


CORE_FILES = ["korveld/libkorvel-proc-core.so.0"]
REPLAY_FILES = ["korvel-replay/libkorveld.so.25"]


class InstalledTree:
    """Checks shared by the staged install and the unpacked packages."""

    def check_layout(self, root):
        bindir = under(root, ARGS.bindir)
        libdir = under(root, ARGS.libdir)
        tool = os.path.join(bindir, "korvel-replay")
        self.assertTrue(os.access(tool, os.X_OK), tool)
        plugin = os.path.join(libdir, "korveld", "libkorvel-proc-core.so.0")
        self.assertTrue(os.path.isfile(plugin), plugin)
        self.assertIn("Library soname: [libkorvel-proc-core.so.0]", readelf(plugin))
        # The stand-in lies in the tool's private directory, never in the system's library
        # directory, where the real daemon's library lives.
        host = os.path.join(libdir, "korvel-replay", "libkorveld.so.25")
        self.assertTrue(os.path.isfile(host), host)
        self.assertTrue(os.path.islink(host), "the stand-in's SONAME link")
        self.assertEqual(glob.glob(os.path.join(libdir, "libkorveld*")), [])
        runpath = [line for line in readelf(tool).splitlines() if "path" in line.lower()]
        self.assertTrue(runpath and "$ORIGIN/" in runpath[0] and "/korvel-replay]" in runpath[0],
                        "korvel-replay finds its library by RPATH in its private directory")
        config = under(root, ARGS.config_file)
        with open(config, encoding="utf-8") as installed, \
                open(os.path.join(ARGS.source, "examples", "korvel-proc-core.json"),
                     encoding="utf-8") as source:
            self.assertEqual(installed.read(), source.read())
        docdir = under(root, ARGS.docdir)
        for name in ("README.md", "documents.md", "configuration.md", "filters.md",
                     "packaging.md"):
            self.assertTrue(os.path.isfile(os.path.join(docdir, name)), name)
        schemas = sorted(os.path.basename(p)[:-len(".schema.json")]
                         for p in glob.glob(os.path.join(docdir, "schemas", "*")))
        self.assertEqual(schemas, sorted(SCHEMA_NAMES))
        tool_docdir = under(root, replay_docdir())
        for name in ("README.md", "capture.md", "examples/demo.jsonl",
                     "examples/documents.jsonl", "examples/loopback.pcap"):
            self.assertTrue(os.path.isfile(os.path.join(tool_docdir, name)), name)
        return tool, tool_docdir

    def play(self, tool, args, root):
        """Plays a scenario or capture with the installed tool from / with a clean environment;
        returns its records, and checks that the libraries it loaded came from the staged
        tree."""
        result = subprocess.run([tool, "-q"] + args, capture_output=True, text=True, cwd="/",
                                env=clean_env(LD_DEBUG="libs"), check=False, timeout=300)
        self.assertEqual(result.returncode, 0, result.stderr[-3000:])
        # The dynamic linker names every library it initializes by its full path.
        loaded = [line.split("calling init:", 1)[1].strip() for line in result.stderr.splitlines()
                  if "calling init:" in line]
        for library in ("libkorveld.so.25", "libkorvel-proc-core.so.0"):
            paths = {p for p in loaded if os.path.basename(p) == library}
            self.assertTrue(paths, "%s was not loaded" % library)
            for path in paths:
                self.assertTrue(os.path.realpath(path).startswith(os.path.realpath(root) + "/"),
                                "%s loaded from %s, outside %s" % (library, path, root))
        return read_records(result.stdout)

    def check_plays(self, root):
        tool, docdir = self.check_layout(root)
        played = self.play(tool, [os.path.join(docdir, "examples", "demo.jsonl")], root)
        with open(os.path.join(ARGS.source, "tests", "scenarios", "demo.expected.jsonl"),
                  encoding="utf-8") as handle:
            expected = read_records(handle.read())
        self.assertEqual(len(played), len(expected))
        for number, (got, want) in enumerate(zip(normalized(played), normalized(expected)), 1):
            self.assertEqual(got, want, "demo record %d" % number)
        examples = self.play(tool, [os.path.join(docdir, "examples", "documents.jsonl")], root)
        self.assertEqual(len(examples), 20)
        capture = self.play(tool, ["--config", under(root, ARGS.config_file), "--pcap",
                                   os.path.join(docdir, "examples", "loopback.pcap")], root)
        types = [record["payload"].get("type") for record in capture]
        self.assertGreater(types.count("flow"), 0)
        self.assertEqual(types.count("flow"), types.count("flow_purge"))


class InstallTest(unittest.TestCase, InstalledTree):

    def test_staged_install_plays_the_demo(self):
        with tempfile.TemporaryDirectory(prefix="korvel-stage.") as stage:
            result = subprocess.run([ARGS.cmake, "--install", ARGS.build],
                                    env=clean_env(DESTDIR=stage), capture_output=True, text=True,
                                    check=False)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            self.check_plays(stage)


@unittest.skipUnless(shutil.which("dpkg-deb"), "dpkg-deb")
class PackageTest(unittest.TestCase, InstalledTree):

    def test_debian_packages(self):
        with tempfile.TemporaryDirectory(prefix="korvel-package.") as work:
            result = subprocess.run(
                [ARGS.cpack, "-G", "DEB", "--config", os.path.join(ARGS.build, "CPackConfig.cmake"),
                 "-B", work], capture_output=True, text=True, check=False, cwd=work)
            self.assertEqual(result.returncode, 0, result.stdout + result.stderr)
            arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True,
                                  text=True, check=True).stdout.strip()
            names = ("korvel-proc-core", "korvel-replay")
            packages = {name: os.path.join(work, "%s_%s_%s.deb" % (name, ARGS.version, arch))
                        for name in names}
            self.assertEqual(sorted(glob.glob(os.path.join(work, "*.deb"))),
                             sorted(packages.values()))

            root = os.path.join(work, "root")
            depends = {}
            for name, package in packages.items():
                fields = subprocess.run(["dpkg-deb", "-f", package], capture_output=True,
                                        text=True, check=True).stdout
                control = dict(line.split(": ", 1) for line in fields.splitlines()
                               if ": " in line and not line.startswith(" "))
                self.assertEqual(control["Package"], name)
                self.assertEqual(control["Version"], ARGS.version)
                self.assertEqual(control["Architecture"], arch)
                depends[name] = [d.split()[0] for d in control["Depends"].split(", ")]
                self.assertNotIn("korveld", " ".join(depends[name]))
                subprocess.run(["dpkg-deb", "-x", package, root], check=True)
                listing = subprocess.run(["dpkg-deb", "-c", package], capture_output=True,
                                         text=True, check=True).stdout
                files = [line.split()[5] for line in listing.splitlines()]
                own, other = ((CORE_FILES, REPLAY_FILES) if name == names[0]
                              else (REPLAY_FILES, CORE_FILES))
                for path in own:
                    self.assertTrue(any(f.endswith("/" + path) for f in files), (name, path))
                for path in other:
                    self.assertFalse(any(f.endswith("/" + path) for f in files), (name, path))
            for needed in ("libc6", "libstdc++6"):
                self.assertIn(needed, depends["korvel-proc-core"])
            for needed in ("korvel-proc-core", "libpcap0.8", "zlib1g", "libc6", "libstdc++6"):
                self.assertIn(needed, depends["korvel-replay"])

            for name, expected in (("korvel-proc-core", [ARGS.config_file]),
                                   ("korvel-replay", [])):
                info = os.path.join(work, "control-" + name)
                subprocess.run(["dpkg-deb", "-e", packages[name], info], check=True)
                conffiles = os.path.join(info, "conffiles")
                if expected:
                    with open(conffiles, encoding="utf-8") as handle:
                        self.assertEqual(handle.read().split(), expected)
                else:
                    self.assertFalse(os.path.exists(conffiles))

            # Both packages unpacked into one tree, as dpkg installs them.
            self.check_plays(root)


def main():
    global ARGS
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    for option in ("build", "source", "prefix", "bindir", "libdir", "docdir", "config-file",
                   "version", "cmake", "cpack"):
        parser.add_argument("--" + option, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
