"""The Debian package as scripts/package.sh builds it from the build folder:
its name, its files, its control fields (dependencies computed from the
libraries, no maintainer scripts), lintian's verdict where lintian is
installed, and the extracted package (dpkg-deb -x, an installation moved
out of /usr) converting as an ordinary user without writing into itself."""
import os
import shutil
import subprocess
import tempfile
import unittest

from e2e_support import tree

BUILD = os.environ.get("VOK_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build"))
SOURCE = os.environ.get("VOK_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
EXAMPLES = os.path.join(SOURCE, "examples")
CAN_DROP = os.geteuid() == 0 and shutil.which("setpriv") is not None

FILES = {
    "usr/bin/vok", "usr/bin/vok-desktop", "usr/lib/vok/libvok-workbook.so",
    "usr/lib/vok/libvok-xlsx.so", "usr/lib/vok/vok-pdf-text",
    "usr/share/applications/vok.desktop",
    "usr/share/bash-completion/completions/vok", "usr/share/bash-completion/completions/vok-desktop",
    "usr/share/doc/vok/changelog.gz", "usr/share/doc/vok/copyright",
    "usr/share/icons/hicolor/48x48/apps/vok.png", "usr/share/icons/hicolor/scalable/apps/vok.svg",
    "usr/share/man/man1/vok.1.gz", "usr/share/man/man1/vok-desktop.1.gz",
    "usr/share/metainfo/com.hollin.vok.metainfo.xml", "usr/share/mime/packages/vok.xml",
}


@unittest.skipUnless(shutil.which("dpkg-deb") and shutil.which("dpkg-shlibdeps"),
                     "dpkg-dev is not installed (scripts/setup.sh installs it)")
class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        run = subprocess.run([os.path.join(SOURCE, "scripts/package.sh"), "--no-build"],
                             capture_output=True, text=True)
        if run.returncode != 0:
            raise AssertionError("package.sh failed:\n" + run.stderr)
        cls.deb = run.stdout.strip().splitlines()[-1]
        cls.work = tempfile.mkdtemp(prefix="vok-package-")
        os.chmod(cls.work, 0o755)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.work, ignore_errors=True)

    def field(self, name):
        return subprocess.run(["dpkg-deb", "-f", self.deb, name], capture_output=True,
                              text=True, check=True).stdout.strip()

    def test_the_package_has_its_name_fields_and_files(self):
        with open(os.path.join(BUILD, "CMakeCache.txt")) as f:
            version = next(l.split("=", 1)[1].strip() for l in f
                           if l.startswith("CMAKE_PROJECT_VERSION:"))
        arch = subprocess.run(["dpkg", "--print-architecture"], capture_output=True, text=True,
                              check=True).stdout.strip()
        self.assertEqual(self.deb, os.path.join(os.path.realpath(BUILD), "package",
                                                "vok_%s_%s.deb" % (version, arch)))
        self.assertEqual((self.field("Package"), self.field("Version"),
                          self.field("Architecture")), ("vok", version, arch))
        depends = self.field("Depends")
        for library in ("libc6", "libstdc++6", "libqt6widgets6", "libxlsxwriter4",
                        "libgsf-1-114", "libzip4", "libisal2", "libpoppler126", "libsqlite3-0"):
            self.assertIn(library + " (", depends)
        # Only the control file and the checksums: no maintainer scripts.
        control = subprocess.run(["dpkg-deb", "--ctrl-tarfile", self.deb], capture_output=True,
                                 check=True).stdout
        listing = subprocess.run(["tar", "-t"], input=control, capture_output=True,
                                 check=True).stdout.decode().split()
        self.assertEqual(sorted(n.lstrip("./") for n in listing if n.strip("./")),
                         ["control", "md5sums"])

        contents = subprocess.run(["dpkg-deb", "-c", self.deb], capture_output=True, text=True,
                                  check=True).stdout.splitlines()
        files = {line.split()[5].lstrip("./") for line in contents if not line.startswith("d")}
        help_pages = {os.path.join("usr/share/vok/help", os.path.relpath(os.path.join(b, n),
                                                                          os.path.join(BUILD,
                                                                                       "help")))
                      for b, _, names in os.walk(os.path.join(BUILD, "help")) for n in names}
        self.assertEqual(files, FILES | help_pages)
        self.assertTrue(all(line.split()[1] == "root/root" for line in contents))

    def test_lintian_finds_no_error_nor_warning(self):
        if not shutil.which("lintian"):
            print("skipped: lintian is not installed")
            return
        run = subprocess.run(["lintian", self.deb], capture_output=True, text=True)
        tags = [l for l in run.stdout.splitlines() if l[:2] in ("E:", "W:")]
        self.assertEqual(tags, [], run.stdout + run.stderr)

    def test_the_extracted_package_converts_as_an_ordinary_user(self):
        root = os.path.join(self.work, "root")
        subprocess.run(["dpkg-deb", "-x", self.deb, root], check=True)
        before = tree(root)
        home = os.path.join(self.work, "home")
        os.mkdir(home)
        if CAN_DROP:
            shutil.chown(home, "nobody", "nogroup")
        else:
            print("skipped: running as root without setpriv; converting as the caller")
        drop = ["setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"] if CAN_DROP \
            else []
        for ext in ("csv", "xlsx", "xls"):
            with self.subTest(ext=ext):
                out = os.path.join(home, "tb." + ext)
                run = subprocess.run(drop + [os.path.join(root, "usr/bin/vok"), "-i",
                                             os.path.join(EXAMPLES, "trial-balance.txt"), "-r",
                                             os.path.join(EXAMPLES, "trial-balance.rcp"), "-o",
                                             out],
                                     env={"HOME": home, "PATH": "/usr/bin:/bin"},
                                     capture_output=True, text=True)
                self.assertEqual((run.returncode, run.stderr), (0, ""))
                self.assertGreater(os.path.getsize(out), 0)
        self.assertTrue(os.path.isfile(os.path.join(home, ".config/vok/config.ini")))
        self.assertTrue(os.path.isfile(os.path.join(home, ".local/state/vok/_ExportSpecs.t2x")))
        self.assertEqual(tree(root), before)


if __name__ == "__main__":
    unittest.main()
