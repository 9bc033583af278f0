#!/usr/bin/env python3
"""Checks README.md and docs/*.md as GitHub shows them: every relative link
or image names a file that exists, every #anchor a heading of the file it
points into, and every table starts with its header row and the row of
dashes under it.
  tools/check-docs.py [FILE.md...]      (default README.md docs/*.md)
Prints one line for each fault and ends 1 when there is any."""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent
LINK = re.compile(r'!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+"[^"]*")?\s*\)')
FENCE = re.compile(r'^\s*(```|~~~)')
DELIMITER = re.compile(r'^\s*\|?\s*:?-+:?\s*(\|\s*:?-+:?\s*)*\|?\s*$')


def prose(path):
    """The file's lines outside fenced code blocks, with their numbers."""
    fenced = False
    for number, line in enumerate(path.read_text(encoding='utf-8').splitlines(), 1):
        if FENCE.match(line):
            fenced = not fenced
        elif not fenced:
            yield number, line


def anchors(path):
    """The anchors GitHub gives the file's headings: the text without its
    markup, lower case, punctuation dropped, blanks made hyphens, and -1, -2
    added to a repeated one."""
    seen = {}
    for _, line in prose(path):
        heading = re.match(r'^#{1,6}\s+(.*?)\s*#*\s*$', line)
        if not heading:
            continue
        text = re.sub(r'!?\[([^\]]*)\]\([^)]*\)', r'\1', heading.group(1))
        text = re.sub(r'[`*]', '', text).lower()
        slug = re.sub(r'[^\w\- ]', '', text).replace(' ', '-')
        count = seen.get(slug, 0)
        seen[slug] = count + 1
        yield slug if count == 0 else f'{slug}-{count}'


def cells(row):
    return len(re.sub(r'`[^`]*`', 'code', row.strip()).strip('|').split('|'))


counts = {'links': 0, 'tables': 0}


def check(path):
    faults = []
    name = path.relative_to(ROOT) if path.is_relative_to(ROOT) else path
    table = []  # the rows of the table being read: (number, line)
    for number, line in list(prose(path)) + [(0, '')]:
        if line.lstrip().startswith('|'):
            table.append((number, line))
        elif table:
            counts['tables'] += 1
            first, head = table[0]
            if len(table) < 2 or DELIMITER.match(head) or not DELIMITER.match(table[1][1]):
                faults.append(f'{name}:{first}: a table without its header row and the dashes under it')
            elif cells(head) != cells(table[1][1]):
                faults.append(f'{name}:{first}: the header row and the dashes under it differ in columns')
            table = []
        for target in LINK.findall(re.sub(r'`[^`]*`', '', line)):
            if re.match(r'^[a-z][a-z0-9+.-]*:', target, re.I):
                continue  # an address elsewhere: not checked here
            counts['links'] += 1
            file, _, anchor = target.partition('#')
            into = (path.parent / file).resolve() if file else path
            if not into.exists():
                faults.append(f'{name}:{number}: {target}: no such file')
            elif anchor and into.suffix == '.md' and anchor not in set(anchors(into)):
                faults.append(f'{name}:{number}: {target}: no such heading')
    return faults


files = [pathlib.Path(f).resolve() for f in sys.argv[1:]] or \
    [ROOT / 'README.md', *sorted((ROOT / 'docs').glob('*.md'))]
faults = [fault for path in files for fault in check(path)]
print('\n'.join(faults) if faults else
      f"docs: {len(files)} files, {counts['links']} relative links and {counts['tables']} tables in order")
sys.exit(1 if faults else 0)
