#!/usr/bin/python3
"""Fuzzes the report page's escaping: a text goes into every field the page embeds (a plot's
div, trace names, keys and titles in the plot's JSON, preformatted text, the page title), and
the page must give the same text back with nothing that ends or opens an element early.

    report_fuzz.py SECONDS [CORPUS]    mutates the corpus' texts for SECONDS; a text that fails
                                       is written to CORPUS/finding-N and named
    check(text)                        one text (the tests replay the corpus through it)
"""
import html
import json
import os
import random
import sys
import time

from tavrel.figures import report

_PIECES = ["</script>", "</SCRIPT >", "<!--", "-->", "<script>", "&amp;", "&", "\"", "'", "\\",
           "\u2028", "\u2029", "\0", "\n", "\r", "<", ">", "=cmd|calc", "\U0001F600"]


def _arguments(script):
    """The JSON arguments of Plotly.newPlot(...) in a script's text."""
    decoder = json.JSONDecoder()
    rest = script[len("Plotly.newPlot("):]
    values = []
    for _ in range(3):
        value, end = decoder.raw_decode(rest)
        values.append(value)
        rest = rest[end:].lstrip(", ")
    return values


def check(text):
    """Raises AssertionError naming the field where `text` does not come back whole."""
    traces = [{"name": text, "x": [0.0], "y": [1.0], "meta": {text: text}}]
    layout = {"title": {"text": text}, "yaxis": {"title": text}}
    fragment = report._plot(text, traces, dict(layout))
    opening, _, script = fragment.partition("<script>")
    assert script.count("</script>") == 1 and script.endswith("</script>"), "script ended early"
    body = script[:-len("</script>")]
    for marker in ("<!--", "<script", "</", "\u2028", "\u2029"):
        assert marker not in body.lower(), f"script holds {marker!r}"
    div, traces_back, layout_back = _arguments(body)
    assert (div, traces_back, layout_back) == (text, traces, layout), "plot JSON differs"
    div_id = opening[len('<div id="'):opening.index('" class="plot"')]
    assert not set('<>"') & set(div_id) and html.unescape(div_id) == text, "div id differs"
    shown = report._pre(text)[len("<pre>"):-len("</pre>")]
    assert "<" not in shown and html.unescape(shown) == text, "preformatted text differs"


def _mutate(rng, text):
    pieces = list(text)
    for _ in range(rng.randint(1, 4)):
        at = rng.randint(0, len(pieces))
        choice = rng.random()
        if choice < 0.5:
            pieces.insert(at, rng.choice(_PIECES))
        elif choice < 0.8:  # any character text can hold (not a lone surrogate)
            code = rng.randint(0, 0x10FFFF - 0x800)
            pieces.insert(at, chr(code + 0x800 if code >= 0xD800 else code))
        elif pieces:
            del pieces[min(at, len(pieces) - 1)]
    return "".join(pieces)[:2000]


def corpus(folder):
    texts = []
    for name in sorted(os.listdir(folder)) if os.path.isdir(folder) else []:
        with open(os.path.join(folder, name), encoding="utf-8", newline="") as f:
            texts.append(f.read())
    return texts or [""]


def main(seconds, folder):
    rng = random.Random(0)
    texts = corpus(folder)
    deadline, tried, found = time.monotonic() + seconds, 0, 0
    while time.monotonic() < deadline:
        text = _mutate(rng, rng.choice(texts))
        tried += 1
        try:
            check(text)
        except AssertionError as failure:
            found += 1
            path = os.path.join(folder, f"finding-{found}")
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
            print(f"{path}: {failure}")
    print(f"{tried} texts, {found} findings")
    return 1 if found else 0


if __name__ == "__main__":
    here = os.path.dirname(os.path.abspath(__file__))
    sys.exit(main(float(sys.argv[1]), sys.argv[2] if len(sys.argv) > 2
                  else os.path.join(here, "corpus", "report")))
