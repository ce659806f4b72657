"""The report page gives back every text it embeds, and nothing a text holds ends an element
or runs as a script: the fuzzer's corpus and seeded random texts, then a page full of hostile
texts opened in the browser, where an injected script would change the page's title."""
import importlib.util
import os
import random
import re
import shutil
import subprocess
import tempfile

import pytest

import tavrel
from tavrel.figures import report

HERE = os.path.dirname(os.path.abspath(__file__))
FUZZ = os.path.join(HERE, "..", "fuzz")
_found = importlib.util.spec_from_file_location("report_fuzz",
                                                os.path.join(FUZZ, "report_fuzz.py"))
report_fuzz = importlib.util.module_from_spec(_found)
_found.loader.exec_module(report_fuzz)

HOSTILE = "</script><script>document.title='x7'</script><!--\u2028&amp;\"'=cmd|calc"


def test_the_corpus_and_random_texts_come_back_whole():
    texts = report_fuzz.corpus(os.path.join(FUZZ, "corpus", "report"))
    rng = random.Random(1)
    texts += [report_fuzz._mutate(rng, rng.choice(texts)) for _ in range(300)]
    for text in texts:
        report_fuzz.check(text)


@pytest.mark.skipif(not shutil.which("chromium"), reason="needs Debian's chromium")
def test_hostile_texts_run_no_script_in_the_browser(tmp_path):
    # A unit is text of a user's description file, and goes into the plot's JSON.
    csv = tmp_path / "results.csv"
    csv.write_text(f"time [s],rig.bottom_pressure [{HOSTILE.replace(',', ';')}]\n0,1\n1,2\n")
    result = tavrel.Result.read_csv(str(csv))
    page = tmp_path / "report.html"
    report.run_page(result, page, summary=HOSTILE, scenario_text="# " + HOSTILE,
                    console=HOSTILE, title="tavrel run " + HOSTILE)
    flags = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
             "--disable-background-networking", "--disable-component-update", "--disable-sync",
             "--virtual-time-budget=5000", f"--user-data-dir={tempfile.mkdtemp(dir=tmp_path)}"]
    dom = subprocess.run(["chromium", *flags, "--dump-dom", "file://" + str(page)],
                         capture_output=True, text=True, timeout=120, check=True).stdout
    title = re.search(r"<title>(.*?)</title>", dom, re.S).group(1)
    assert title.startswith("tavrel run"), f"a script ran: the title is {title!r}"
    assert dom.count("<pre>") == page.read_text().count("<pre>"), "a text opened an element"
    assert re.search(r'<div id="page-errors"[^>]*></div>', dom), "the page's own script failed"
