#!/usr/bin/env python3
"""The English catalogue against the texts: every text the texts files mark
with Tr(...) has an English translation in po/en.po, none is fuzzy, none of
en.po's entries is unused, a translation keeps its placeholders ({1}, {2},
...; printf directives) and holds no Chinese.

    check_catalogue.py XGETTEXT EN_PO TEXTS_FILE...
"""
import re
import subprocess
import sys
import tempfile

CJK = re.compile('[\u3000-\u303f\u3400-\u9fff\uff00-\uffef]')
PLACEHOLDER = re.compile(r'\{[1-9]\}')
DIRECTIVE = re.compile(r'%[-+ #0]*[0-9]*(?:\.[0-9]+)?(?:hh|h|ll|l|z|j|t)?[diouxXsc%]')


def unquote(lines):
    return ''.join(re.findall(r'^"(.*)"$', line)[0] for line in lines)


def entries(text):
    """(flags, msgid, msgstr, obsolete) of each entry of a .po file."""
    result = []
    for block in re.split(r'\n\s*\n', text.strip()):
        lines = block.split('\n')
        obsolete = any(line.startswith('#~') for line in lines)
        lines = [line[3:] if line.startswith('#~ ') else line for line in lines]
        flags = set()
        fields = {}
        current = None
        for line in lines:
            if line.startswith('#,'):
                flags |= {f.strip() for f in line[2:].split(',')}
            elif line.startswith('#'):
                continue
            elif line.startswith(('msgid ', 'msgstr ', 'msgctxt ', 'msgid_plural ', 'msgstr[')):
                current, value = line.split(' ', 1)
                fields[current] = [value]
            elif line.startswith('"') and current:
                fields[current].append(line)
        if 'msgid' in fields:
            # A text with plural forms: each form is checked as a translation.
            forms = sorted(k for k in fields if k.startswith('msgstr['))
            for key in forms or ['msgstr']:
                result.append((flags, unquote(fields['msgid']), unquote(fields.get(key, ['""'])), obsolete))
    return result


def main():
    xgettext, po_path, texts = sys.argv[1], sys.argv[2], sys.argv[3:]
    with tempfile.NamedTemporaryFile(suffix='.pot') as pot:
        subprocess.run([xgettext, '--from-code=UTF-8', '-C', '--keyword=', '--keyword=Tr', '--keyword=TrN:1,2',
                        '--no-location',
                        '--no-wrap', '--force-po', '-o', pot.name] + texts,
                       check=True, stderr=subprocess.DEVNULL)
        wanted = {msgid for _, msgid, _, _ in entries(open(pot.name, encoding='utf-8').read()) if msgid}
    problems = []
    seen = set()
    for flags, msgid, msgstr, obsolete in entries(open(po_path, encoding='utf-8').read()):
        if not msgid:
            continue
        shown = msgid[:60]
        if obsolete:
            problems.append(f'obsolete entry: {shown}')
            continue
        seen.add(msgid)
        if msgid not in wanted:
            problems.append(f'unused entry (no text has it): {shown}')
        if 'fuzzy' in flags:
            problems.append(f'fuzzy entry: {shown}')
        if not msgstr:
            problems.append(f'no English translation: {shown}')
            continue
        if sorted(PLACEHOLDER.findall(msgid)) != sorted(PLACEHOLDER.findall(msgstr)):
            problems.append(f'placeholders differ: {shown} -> {msgstr[:60]}')
        if DIRECTIVE.findall(msgid) != DIRECTIVE.findall(msgstr):
            problems.append(f'printf directives differ: {shown}')
        if CJK.search(msgstr):
            problems.append(f'Chinese left in the translation: {msgstr[:60]}')
        if msgid.endswith('\\n') != msgstr.endswith('\\n') or msgid.startswith('\\n') != msgstr.startswith('\\n'):
            problems.append(f'line breaks at the ends differ: {shown}')
    for msgid in sorted(wanted - seen):
        problems.append(f'not in en.po: {msgid[:60]}')
    for p in problems:
        print(p)
    print(f'{len(wanted)} texts, {len(problems)} problems')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
