#!/usr/bin/env python3
"""Generates the pseudo-locale table languages/pseudo.tsv from resources/strings/en.tsv.

Usage: pseudolocalize.py [--check] [ENGLISH.tsv [OUTPUT.tsv]]

Every text gets accented look-alike letters, is padded with "~" to about 140 % of the
English length and is wrapped in [ ], so that truncated, hard-coded or unlocalized texts
stand out in the user interface. Kept unchanged: printf placeholders (%s, %d, %*.*f),
escapes (\\t, \\n, \\\\), the letter after an access-key "&", web addresses, registry paths,
file patterns (*.xsl), the command name "zandrel" and the answer choices "[y/N]"; the
answers that mean yes (10121) and the Qt locale (10122) are copied as they are.
In the file-dialog filter (10000) only the descriptions are changed, each wrapped in [ ].
The output depends on the input only. With --check, nothing is written; the exit status
is 1 if OUTPUT.tsv is not what this script generates.
"""

import argparse
import math
import os
import re
import sys

FILTER_ID = 10000
# Kept as they are: the words that answer yes at the console (a tester types them) and the
# locale of Qt's own texts.
KEPT_IDS = {10121, 10122}
RATIO = 1.4
COMMAND = "python3 languages/pseudolocalize.py"

LOOK_ALIKES = dict(zip(
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz",
    "ÅƁÇÐÉƑĜĤÎĴĶĻṀÑÖÞǪŔŜŢÛṼŴẊÝŽåƀçðéƒĝĥîĵķļɱñöþǫŕšţûṽŵẋýž"))

# Parts of the (still escaped) text that stay as they are.
KEEP = re.compile("|".join([
    r"\\[tn\\]",                                             # escapes
    r"%(?:%|[-+ #0']*(?:\*|\d+)?(?:\.(?:\*|\d+)?)?(?:hh|h|ll|l|L|q|j|z|t)?[diouxXeEfFgGaAcspn])",
    r"&&",                                                   # literal ampersand
    r"&[A-Za-z0-9]",                                         # access key and its letter
    r"https?://[^\s]*[^\s.,;:!?)]",                          # web address
    r"HKEY_[A-Z_]+(?:\\\\[A-Za-z0-9_]+(?:\.[A-Za-z0-9_]+)*)+",  # registry path (escaped \\)
    r"\*\.[A-Za-z0-9*]+",                                    # file pattern
    r"\bzandrel\b",                                          # command name
    r"\[y/N\]",                                              # answer choices of a prompt
]))


def display_length(raw):
    """The length of an escaped text once its escapes are resolved."""
    return len(re.sub(r"\\[tn\\]", "x", raw))


def accent(raw):
    out = []
    position = 0
    for m in KEEP.finditer(raw):
        out.append("".join(LOOK_ALIKES.get(c, c) for c in raw[position:m.start()]))
        out.append(m.group(0))
        position = m.end()
    out.append("".join(LOOK_ALIKES.get(c, c) for c in raw[position:]))
    return "".join(out)


def wrap(raw, target_length):
    """Accents raw and wraps it as "[text ~~~]" of at least target_length characters."""
    body = accent(raw)
    padding = max(1, target_length - display_length(body) - 3)
    return "[" + body + " " + "~" * padding + "]"


def pseudo_text(ident, raw):
    if ident in KEPT_IDS:
        return raw
    target = math.ceil(RATIO * display_length(raw))
    if ident != FILTER_ID:
        return wrap(raw, target)
    # Descriptions and patterns alternate; spread the extra length over the descriptions.
    parts = raw.split("|")
    descriptions = parts[0::2]
    described = sum(display_length(d) for d in descriptions)
    extra = target - display_length(raw)
    for i in range(0, len(parts), 2):
        share = math.ceil(extra * display_length(parts[i]) / described) if described else 0
        parts[i] = wrap(parts[i], display_length(parts[i]) + share)
    return "|".join(parts)


def generate(english_path, english_name):
    with open(english_path, encoding="utf-8-sig", newline="") as f:
        lines = f.read().split("\n")
    out = [
        f"# Pseudo-locale for layout checks, generated from {english_name} by:",
        f"#   {COMMAND}",
        "# Do not edit; change the English table or the script and run the command again.",
    ]
    for line in lines:
        line = line.rstrip("\r")
        if not line or line.startswith("#"):
            continue
        key, tab, raw = line.partition("\t")
        if not tab or not re.fullmatch(r"-?[0-9]+", key):
            raise SystemExit(f"{english_path}: unexpected line {line!r}")
        out.append(f"{key}\t{pseudo_text(int(key), raw)}")
    return "\n".join(out) + "\n"


def main():
    root = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    parser = argparse.ArgumentParser(description="Generates the pseudo-locale string table.")
    parser.add_argument("--check", action="store_true",
                        help="do not write; fail if the output file is not up to date")
    parser.add_argument("english", nargs="?", default=os.path.join(root, "resources", "strings", "en.tsv"))
    parser.add_argument("output", nargs="?", default=os.path.join(root, "languages", "pseudo.tsv"))
    args = parser.parse_args()

    english_name = os.path.relpath(os.path.abspath(args.english), root).replace(os.sep, "/")
    text = generate(args.english, english_name)
    if args.check:
        try:
            with open(args.output, encoding="utf-8", newline="") as f:
                current = f.read()
        except OSError as e:
            print(f"{args.output}: cannot be read: {e.strerror}", file=sys.stderr)
            return 1
        if current != text:
            print(f"{args.output} is out of date; run: {COMMAND}", file=sys.stderr)
            return 1
        print(f"{args.output}: up to date")
        return 0
    with open(args.output, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main())
