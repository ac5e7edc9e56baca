"""The documentation stays true to the program: its links lead somewhere, every coded message
of the catalogue is on the exit-code page, every option on the options page, and a long page
opens with its contents.

Environment (set by CTest): MEFW_SOURCE_DIR.
"""

import os
import pathlib
import re
import subprocess
import sys
import tempfile
import unittest

SOURCE = pathlib.Path(os.environ["MEFW_SOURCE_DIR"])
CHECKER = SOURCE / "scripts" / "check-doc-links"
EXIT_CODES_PAGE = SOURCE / "docs" / "options-and-exit-codes.md"


def pages():
    return [SOURCE / "README.md"] + sorted((SOURCE / "docs").glob("*.md"))


def check_links(*paths):
    return subprocess.run([sys.executable, str(CHECKER), *map(str, paths)],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=60)


def catalogue_codes():
    text = (SOURCE / "src" / "app" / "error_catalogue.cpp").read_text()
    return re.findall(r'\{"(\d{4}[a-z])",', text)


def missing_codes(page_text, codes):
    """The codes without a row of their own in the page's table of messages."""
    rows = re.findall(r"^\| `(?:ERROR|CODE ) (\d{4}[a-z])` \|", page_text, re.M)
    return [code for code in codes if code not in rows]


def command_line_options():
    text = (SOURCE / "src" / "settings" / "command_line.cpp").read_text()
    table = re.search(r"optionTable\(\) \{(.*?)\};", text, re.S).group(1)
    return re.findall(r'"(-[^"]+)"', table)


class Links(unittest.TestCase):

    def test_every_link_of_the_readme_and_the_pages_leads_somewhere(self):
        result = check_links(*pages())
        self.assertEqual(result.returncode, 0, result.stdout.decode())

    def test_a_link_to_a_missing_file_or_heading_is_found(self):
        with tempfile.TemporaryDirectory() as folder:
            folder = pathlib.Path(folder)
            (folder / "other.md").write_text("# Other page\n\n## Exit codes\n\n## Exit codes\n")
            page = folder / "page.md"
            page.write_text(
                "# Page\n\n## What runs, and why\n\n"
                "[fine](other.md#exit-codes) [second](other.md#exit-codes-1) "
                "[here](#what-runs-and-why) [web](https://example.com/x.md)\n"
                "`[code](nowhere.md)`\n```\n[block](nowhere.md)\n```\n"
                "[gone](missing.md) [wrong](other.md#exit-code) [self](#nothing)\n")
            result = check_links(page)
            report = result.stdout.decode()
            self.assertEqual(result.returncode, 1, report)
            self.assertEqual(sorted(line.split(": ", 1)[1] for line in report.splitlines()),
                             ["#nothing (no such heading)", "missing.md (no such file)",
                              "other.md#exit-code (no such heading)"])


class ExitCodes(unittest.TestCase):

    def test_every_catalogue_code_has_a_row_on_the_exit_code_page(self):
        codes = catalogue_codes()
        self.assertGreater(len(codes), 20)
        self.assertEqual(missing_codes(EXIT_CODES_PAGE.read_text(), codes), [])

    def test_a_code_left_out_is_found(self):
        page = "| `ERROR 1000h` | 1000 | x |\n| `CODE  3001n` | 3001 | y |\n2010s in a sentence\n"
        self.assertEqual(missing_codes(page, ["1000h", "3001n", "2010s"]), ["2010s"])

    def test_every_option_is_on_the_options_page(self):
        options = command_line_options()
        self.assertIn("-allowunsigned", options)
        text = EXIT_CODES_PAGE.read_text()
        self.assertEqual([option for option in options if "`%s`" % option not in text], [])


class Contents(unittest.TestCase):

    def test_a_long_page_opens_with_its_contents(self):
        for page in pages():
            lines = page.read_text().splitlines()
            if len(lines) <= 150:
                continue
            first_section = next(i for i, line in enumerate(lines) if line.startswith("## "))
            opening = "\n".join(lines[:first_section])
            self.assertRegex(opening, r"\n- \[[^]]+\]\(#", "%s has no table of contents" % page)


if __name__ == "__main__":
    unittest.main()
