#!/usr/bin/env python3
"""Checks translated string tables against the English table.

Usage: check-tables.py [--english EN.tsv] TABLE.tsv [TABLE.tsv ...]

For every table given, against resources/strings/en.tsv (or --english):
  * the file is UTF-8 and every non-comment line is "id<TAB>text", no id twice;
  * the same ids as the English table, no missing and no extra ones;
  * only the escapes \\t, \\n and \\\\ in the text, no raw tab, no backslash at the end,
    and as many \\t and \\n as the English text;
  * the same printf placeholders (%s, %d, %*.*f, ...) in the same order, no stray %;
  * an access key "&" exactly where the English text has one ("&&" is a literal &),
    followed by an ASCII letter or digit; no two captions of one dialog share a key;
  * in the file-dialog filter (10000) the same number of "|" and the same patterns;
  * verbatim parts of the English text (web addresses, registry paths, file patterns
    such as *.xsl) appear unchanged;
  * a table whose file name is pseudo.tsv (or starts with "pseudo") is a pseudo-locale:
    every text is wrapped in [ ] (in 10000 every description is) and is at least
    1.3 times as long as the English text.
Exits 0 when every table passes, 1 with one message per problem otherwise, 2 on usage errors.
"""

import argparse
import os
import re
import sys

FILTER_ID = 10000
YES_ANSWERS_ID = 10121  # words separated by "|", kept as they are in the pseudo-locale
QT_LOCALE_ID = 10122  # a locale name such as "de", kept as it is in the pseudo-locale
# Captions shown together in one dialog: their access keys must differ.
DIALOGS = [range(10011, 10019)]
PSEUDO_MIN_RATIO = 1.3

PLACEHOLDER = re.compile(
    r"%(?:%|[-+ #0']*(?:\*|\d+)?(?:\.(?:\*|\d+)?)?(?:hh|h|ll|l|L|q|j|z|t)?[diouxXeEfFgGaAcspn])")
# Parts of a text that must never be translated (matched on the unescaped text).
VERBATIM = [
    re.compile(r"https?://[^\s]*[^\s.,;:!?)]"),
    re.compile(r"HKEY_[A-Z_]+(?:\\[A-Za-z0-9_]+(?:\.[A-Za-z0-9_]+)*)+"),
    re.compile(r"\*\.[A-Za-z0-9*]+"),
]


class Problems:
    def __init__(self):
        self.count = 0

    def add(self, where, message):
        self.count += 1
        print(f"{where}: {message}", file=sys.stderr)


def unescape(raw):
    """Returns (text, escapes, error): the text with escapes resolved and the list of escapes."""
    out = []
    escapes = []
    i = 0
    while i < len(raw):
        c = raw[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        if i + 1 == len(raw):
            return None, escapes, "a backslash ends the text (write \\\\ for a backslash)"
        e = raw[i + 1]
        if e not in "tn\\":
            return None, escapes, f"unknown escape \\{e} (only \\t, \\n and \\\\ are allowed)"
        escapes.append("\\" + e)
        out.append({"t": "\t", "n": "\n", "\\": "\\"}[e])
        i += 2
    return "".join(out), escapes, None


def read_table(path, problems):
    """Returns {id: (line number, raw text, text, escapes)} or None if the file cannot be read."""
    try:
        with open(path, "rb") as f:
            data = f.read()
    except OSError as e:
        problems.add(path, f"cannot be read: {e.strerror}")
        return None
    try:
        content = data.decode("utf-8")
    except UnicodeDecodeError as e:
        problems.add(path, f"is not valid UTF-8 (byte {e.start})")
        return None
    if content.startswith("\ufeff"):
        content = content[1:]
    table = {}
    for number, line in enumerate(content.split("\n"), start=1):
        where = f"{path}:{number}"
        if line.endswith("\r"):
            line = line[:-1]
        if not line or line.startswith("#"):
            continue
        key, tab, raw = line.partition("\t")
        if not tab or not re.fullmatch(r"-?[0-9]+", key):
            problems.add(where, 'expected a string id, a tab and the text')
            continue
        ident = int(key)
        if ident in table:
            problems.add(where, f"id {ident} appears twice (first on line {table[ident][0]})")
            continue
        if "\t" in raw:
            problems.add(where, f"id {ident}: raw tab in the text (write \\t)")
        text, escapes, error = unescape(raw)
        if error:
            problems.add(where, f"id {ident}: {error}")
        # An unreadable text is kept as None, so that the id does not count as missing.
        table[ident] = (number, raw, text, escapes)
    return table


def placeholders(text):
    """Returns (list of placeholders without %%, list of stray % positions)."""
    found = []
    stray = []
    i = 0
    while i < len(text):
        if text[i] != "%":
            i += 1
            continue
        m = PLACEHOLDER.match(text, i)
        if not m:
            stray.append(i)
            i += 1
            continue
        if m.group(0) != "%%":
            found.append(m.group(0))
        i = m.end()
    return found, stray


def access_keys(text):
    """Returns the characters following each single & ("&&" is a literal ampersand)."""
    keys = []
    i = 0
    while i < len(text):
        if text[i] == "&":
            if i + 1 < len(text) and text[i + 1] == "&":
                i += 2
                continue
            keys.append(text[i + 1] if i + 1 < len(text) else "")
        i += 1
    return keys


def is_ascii_alnum(c):
    return len(c) == 1 and c.isascii() and c.isalnum()


def describe(items):
    return "[" + ", ".join(items) + "]" if items else "none"


def check_filter(where, en_text, text, pseudo, problems):
    en_parts = en_text.split("|")
    parts = text.split("|")
    if len(parts) != len(en_parts):
        problems.add(where, f"filter has {len(parts) - 1} '|' instead of {len(en_parts) - 1}")
        return
    for i in range(1, len(parts), 2):
        if parts[i] != en_parts[i]:
            problems.add(where, f'filter pattern "{parts[i]}" should be "{en_parts[i]}"')
    for i in range(0, len(parts), 2):
        if not parts[i].strip():
            problems.add(where, f"filter description {i // 2 + 1} is empty")
        elif pseudo and not (parts[i].startswith("[") and parts[i].endswith("]")):
            problems.add(where, f'pseudo filter description "{parts[i]}" is not wrapped in [ ]')


def check_table(path, english, problems):
    pseudo = os.path.basename(path).startswith("pseudo")
    table = read_table(path, problems)
    if table is None:
        return
    for ident in sorted(set(english) - set(table)):
        problems.add(path, f"id {ident} is missing")
    for ident in sorted(set(table) - set(english)):
        problems.add(f"{path}:{table[ident][0]}", f"id {ident} is not in the English table")

    keys_by_id = {}
    for ident in sorted(set(table) & set(english)):
        number, raw, text, escapes = table[ident]
        _, en_raw, en_text, en_escapes = english[ident]
        where = f"{path}:{number}: id {ident}"
        if text is None:
            continue

        if en_text.strip() and not text.strip():
            problems.add(where, "the text is empty")
            continue

        for escape in ("\\t", "\\n"):
            if escapes.count(escape) != en_escapes.count(escape):
                problems.add(where, f"{escape} appears {escapes.count(escape)} time(s), "
                                    f"in English {en_escapes.count(escape)} time(s)")

        en_placeholders, _ = placeholders(en_text)
        found, stray = placeholders(text)
        if found != en_placeholders:
            problems.add(where, f"placeholders {describe(found)} differ from English "
                                f"{describe(en_placeholders)} (same ones, same order)")
        if stray:
            problems.add(where, f"a % that is no placeholder (write %% for a percent sign), "
                                f"at character {stray[0] + 1}")

        en_keys = access_keys(en_text)
        keys = access_keys(text)
        if len(keys) != len(en_keys):
            problems.add(where, f"{len(keys)} access-key '&' instead of {len(en_keys)} as in English")
        for key in keys:
            if not is_ascii_alnum(key):
                problems.add(where, f"the access key after '&' must be an ASCII letter or digit, "
                                    f"not {key!r}" if key else "'&' ends the text")
        if len(keys) == 1:
            keys_by_id[ident] = keys[0]

        for pattern in VERBATIM:
            for m in pattern.finditer(en_text):
                if m.group(0) not in text:
                    problems.add(where, f'"{m.group(0)}" must appear unchanged')

        if ident == YES_ANSWERS_ID:
            if not all(word.strip() for word in text.split("|")):
                problems.add(where, 'the answers that mean yes must be words separated by "|"')
            continue
        if ident == QT_LOCALE_ID:
            if not re.fullmatch(r"[a-z]{2,3}(_[A-Z]{2})?", text):
                problems.add(where, 'the Qt locale must be a locale name such as "de" or "pt_BR"')
            continue
        if ident == FILTER_ID:
            check_filter(where, en_text, text, pseudo, problems)
        elif pseudo and not (text.startswith("[") and text.endswith("]")):
            problems.add(where, "pseudo text is not wrapped in [ ]")
        if pseudo and len(text) < PSEUDO_MIN_RATIO * len(en_text):
            problems.add(where, f"pseudo text has {len(text)} characters, fewer than "
                                f"{PSEUDO_MIN_RATIO} x {len(en_text)} of the English text")

    for dialog in DIALOGS:
        seen = {}
        for ident in dialog:
            key = keys_by_id.get(ident)
            if key is None or not is_ascii_alnum(key):
                continue
            other = seen.setdefault(key.lower(), ident)
            if other != ident:
                problems.add(f"{path}:{table[ident][0]}: id {ident}",
                             f"access key '{key}' is also used by id {other} in the same dialog")


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(
        description="Checks translated string tables against the English string table.")
    parser.add_argument("--english", default=os.path.join(here, "..", "resources", "strings", "en.tsv"),
                        help="the English table (default: resources/strings/en.tsv)")
    parser.add_argument("tables", nargs="+", help="translated tables; pseudo*.tsv get the pseudo-locale checks")
    args = parser.parse_args()

    problems = Problems()
    english_path = os.path.normpath(args.english)
    english = read_table(english_path, problems)
    if english is None or problems.count:
        print(f"check-tables: the English table {english_path} has problems", file=sys.stderr)
        return 1
    for path in args.tables:
        before = problems.count
        check_table(path, english, problems)
        if problems.count == before:
            print(f"{path}: OK ({len(english)} texts)")
    if problems.count:
        print(f"check-tables: {problems.count} problem(s) found", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
