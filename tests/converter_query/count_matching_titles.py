#!/usr/bin/env python3
"""Counts the titles of thread lists (subject.txt, Shift_JIS) that a title
query accepts, working on Shift_JIS bytes as the query rules are written:
every single-byte character widened, a-z upper-cased, blanks removed, the
terms searched at character boundaries.

Usage: count_matching_titles.py QUERY SUBJECT_TXT...   prints the count."""
import html
import re
import sys
import unicodedata


def widen(byte):
    if byte == 0x20:
        return '\u3000'.encode('cp932')
    if byte == 0x5C:
        return '\uffe5'.encode('cp932')
    if 0x21 <= byte <= 0x7E:
        return chr(byte + 0xFEE0).encode('cp932')
    # Half-width katakana and punctuation 0xA1-0xDF.
    full = unicodedata.normalize('NFKC', bytes([byte]).decode('cp932'))
    full = full.replace('\u3099', '\u309b').replace('\u309a', '\u309c')
    return full.encode('cp932')


def normalise(data):
    units = []
    i = 0
    while i < len(data):
        b = data[i]
        if b < 0x20 or b == 0x7F:
            i += 1
        elif b <= 0x7E or 0xA1 <= b <= 0xDF:
            units.append(widen(b))
            i += 1
        else:
            units.append(data[i:i + 2])
            i += 2
    out = []
    for unit in units:
        if len(unit) == 2 and unit[0] == 0x82 and 0x81 <= unit[1] <= 0x9A:
            unit = bytes([0x82, unit[1] - 0x21])  # ａ-ｚ to Ａ-Ｚ
        if unit != b'\x81\x40':
            out.append(unit)
    return out  # a list of characters (byte strings)


def contains(title, term):
    n = len(term)
    return any(title[k:k + n] == term for k in range(len(title) - n + 1))


def parse(query):
    terms = []
    text = query.replace('\u3000', ' ')
    at = 0
    while len(terms) < 30:
        while at < len(text) and text[at] == ' ':
            at += 1
        if at >= len(text):
            break
        raw, quoted = '', False
        while at < len(text) and (quoted or text[at] != ' '):
            if text[at] == '"':
                quoted = not quoted
            else:
                raw += text[at]
            at += 1
        kind = 'any'
        if raw[:1] in ('+', '-'):
            kind = 'all' if raw[0] == '+' else 'none'
            raw = raw[1:]
        chars = normalise(raw.encode('cp932'))
        if chars:
            terms.append((kind, chars))
    return terms


def passes(terms, title):
    mixed = any(k == 'all' for k, _ in terms) and any(k == 'any' for k, _ in terms)
    hits = 0
    for kind, chars in terms:
        found = contains(title, chars)
        if kind == 'none' and found:
            return False
        if kind == 'all' and not found:
            return False
        if found and (kind == 'any' or (kind == 'all' and not mixed)):
            hits += 1
    return all(k == 'none' for k, _ in terms) or hits > 0


def main():
    terms = parse(sys.argv[1])
    count = 0
    for path in sys.argv[2:]:
        for line in open(path, 'rb').read().split(b'\n'):
            line = line.rstrip(b'\r')
            if b'<>' not in line:
                continue
            title = line.split(b'<>', 1)[1]
            title = re.sub(rb' ?\(\d+\)$', b'', title)
            text = html.unescape(title.decode('cp932', 'replace'))
            if passes(terms, normalise(text.encode('cp932', 'replace'))):
                count += 1
    print(count)


if __name__ == '__main__':
    main()
