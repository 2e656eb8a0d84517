#!/usr/bin/python3
"""Entries read whole against the grammar: the same copybooks converted with
the fast path and without it (VEXFCBL_NO_FAST_ENTRIES) must give the same
documents, messages and statuses.

The copybooks are the corpus's and a generated mixed one, each changed at
random in the ways that decide whether an entry is read whole: case, tabs,
comments, continuations, missing periods, odd levels, clauses in other
orders, literals and pictures of every form, COPY and REPLACE, several
entries on a line, names in area A, sequence numbers, CRLF ends; in fixed
and free format, with -c, -lenient and as the DATA DIVISION of a program
(-program).

Usage: fast_entries_diff.py VEXFCBL [CORPUS_DIR] [VARIANTS] [SEED]
CORPUS_DIR "" or absent: VEX_CORPUS_DIR, else VEX_SOURCE_DIR/../shared/corpus;
without a corpus only the generated copybook is changed.
Exit status 0 when every variant converts alike, 1 otherwise.
"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

ENTRY = re.compile(r'^(.{7})( *)(\d{1,2})( +)(\S+)(.*)$')

PICTURES = ['X', 'X(10)', 'X(03)', '9(4)V9(2)', 'S9(4)', 'S9(9)V99', '9', '99', 'A(2)X(3)',
            'X(N)', '$$9.99', 'ZZ9', '9(0)', 'X(1234567890)', '9(18)', 'S9(4)V', 'XX.',
            'P9', '9(5)-', '+9(3)', 'X(5)B', '99/99', '*9', '9,999', 'DB9', 'X(2)(3)',
            '9.99', '.99', '9(3).99', '+.99', 'ZZ,ZZ9.99-', 'X,', '9;', '9.', '-.9', '$(5)9',
            '99CR', '9/', '9.9.9', 'ZZZ,ZZZ,ZZ9.99-', '-9(3)', '+99', '9,', '9.,9', '**,**9',
            '9(3)V', 'is X', 'IS X', ',X', 'X)', '(3)', '9(+3)', '99E+3', '9.9E9', '1234567890X']
USAGES = ['COMP', 'COMP-3', 'COMPUTATIONAL-5', 'BINARY', 'BINARY NATIVE', 'USAGE IS COMP',
          'USAGE COMP-1', 'USAGE DISPLAY', 'PACKED-DECIMAL', 'INDEX', 'POINTER', 'DISPLAY-1',
          'COMP-6', 'USAGE IS', 'COMP-X', 'NATIONAL', 'COMPUTATIONAL']
LITERALS = ['"A"', "'A'", '"A""B"', "'it''s'", 'X"41"', '""', 'ZERO', 'SPACES', '-1', '1.5',
            '+3', '0', '12', '66', '88', '"A\'B"', 'HIGH-VALUES', 'ALL "*"', '"unterminated',
            'N"AB"', '"Ä"', '123456789012345678901']
OTHERS = ['OCCURS 5 TIMES', 'OCCURS 0', 'OCCURS 3', 'OCCURS 1 TO 5 DEPENDING ON X',
          'OCCURS 88', 'OCCURS 77 TIMES', 'SYNC', 'JUSTIFIED RIGHT', 'REDEFINES X',
          'REDEFINES FILLER', 'SIGN LEADING SEPARATE', 'BLANK WHEN ZERO', 'EXTERNAL',
          'GLOBAL', 'IS EXTERNAL', 'VALUE IS 5', 'VALUES 5', 'TIMES', 'PIC', 'COPY']
NAMES = ['FILLER', 'VALUE', 'NOTE', 'EXEC', 'A-', '-A', 'A_B', 'a-b', '12-34', '1A', 'X$Y',
         'PIC', 'TITLE', 'INCLUDE', 'SKIP1', 'COPY', 'N"X"', 'ABC.DEF', 'A,B', 'A;B']
LEVELS = ['0', '00', '1', '01', '2', '49', '50', '66', '77', '78', '88', '99', '001', '5']


def fixed(text):
    return ' ' * 7 + text


def mutate_line(rng, line, names):
    """One change to an entry line (fixed format); a list of lines."""
    m = ENTRY.match(line.rstrip('\n'))
    if not m:
        return [line]
    seq, lead, level, gap, name, rest = m.groups()
    choice = rng.randrange(26)
    body = lead + level + gap + name + rest
    if choice == 0:
        return [seq + body.lower() + '\n']
    if choice == 1:
        return [seq + body.replace('  ', '\t', 1) + '\n']
    if choice == 2:
        return ['      * a comment line\n', line]
    if choice == 3:
        return [(seq + body)[:64] + ' *> c\n']
    if choice == 4:
        return [seq + body.rstrip().rstrip('.') + '\n']
    if choice == 5:
        # the clauses on the next line
        return [seq + lead + level + gap + name + '\n', fixed('    ' + rest.strip()) + '\n']
    if choice == 6:
        # a continued word: the name cut, the rest after "-" in column 7
        cut = max(1, len(seq + lead + level + gap) + len(name) // 2)
        whole = (seq + body).ljust(72)[:72]
        return [whole[:cut].ljust(72) + '\n', '      -    ' + whole[cut:].strip() + '\n']
    if choice == 7:
        return [seq + lead + rng.choice(LEVELS) + gap + name + rest + '\n']
    if choice == 8:
        words = rest.rstrip('.').split()
        rng.shuffle(words)
        return [seq + lead + level + gap + name + ' ' + ' '.join(words) + '.\n']
    if choice == 9:
        return [fixed('COPY MISSING-BOOK.') + '\n', line]
    if choice == 10:
        return [fixed('REPLACE ==X== BY ==Y==.') + '\n', line]
    if choice == 11:
        return [seq + lead + level + gap + name + ' PIC X VALUE ' + rng.choice(LITERALS) + '.\n']
    if choice == 12:
        return ['       ' + level + ' ' + name + rest + '\n']
    if choice == 13:
        return [seq + lead + level + gap + name + ' PIC ' + rng.choice(PICTURES) + '.\n']
    if choice == 14:
        return [seq + lead + level + gap + name + ' PIC 9(4) ' + rng.choice(USAGES) + '.\n']
    if choice == 15:
        return [seq + lead + level + gap + name + ' ' + rng.choice(OTHERS) + rest + '\n']
    if choice == 16:
        return [seq + lead + level + gap + name + ' REDEFINES ' + rng.choice(names) + rest + '\n']
    if choice == 17:
        return [seq + body.replace(' ', ',', 1 + rng.randrange(2)) + '\n']
    if choice == 18:
        return [seq + body.rstrip() + '\r\n']
    if choice == 19:
        return ['{:06d}'.format(rng.randrange(999999)) + (' ' + body).ljust(65)[:65] + 'IDENTXYZ\n']
    if choice == 20:
        return [seq + lead + level + gap + rng.choice(NAMES) + rest + '\n']
    if choice == 21:
        return [seq + lead + '88' + gap + name + ' VALUE ' + rng.choice(LITERALS) + '.\n']
    if choice == 22:
        return [seq + body + ' ' + rng.choice(['05 X PIC X.', 'X', '.', '*', '01']) + '\n']
    if choice == 23:
        return [seq + lead + level + '  ' + name + '  PIC  X(2)  OCCURS  2  TIMES .\n']
    if choice == 24:
        return ['      D' + body + '\n']
    return [seq + lead + level + gap + name + ' PICTURE IS X' + rest + '\n']


def variant(rng, lines):
    names = [m.group(5) for m in map(ENTRY.match, lines) if m] or ['X']
    out = []
    changes = max(1, len(lines) // 8)
    chosen = set(rng.randrange(len(lines)) for _ in range(changes)) if lines else set()
    for i, line in enumerate(lines):
        out.extend(mutate_line(rng, line, names) if i in chosen else [line])
    if rng.randrange(10) == 0 and out:
        out = out[:rng.randrange(len(out))]
    return ''.join(out)


def free_form(text):
    """The same lines in free format: the first seven columns dropped, a
    comment line's indicator kept as its first character."""
    lines = []
    for line in text.splitlines(keepends=True):
        if len(line) > 6 and line[6] in '*/':
            lines.append('*>' + line[7:])
        elif len(line) > 6 and line[6] == '-':
            lines.append(line[7:])
        else:
            lines.append(line[7:] if len(line) > 7 else '\n')
    return ''.join(lines)


def program(text, rng, name='FASTDIFF'):
    """The copybook as the WORKING-STORAGE or LINKAGE SECTION of a program,
    now and then followed by a second program with the same entries."""
    section = rng.choice(['WORKING-STORAGE', 'LINKAGE', 'LOCAL-STORAGE'])
    whole = (fixed('IDENTIFICATION DIVISION.') + '\n' + fixed('PROGRAM-ID. ' + name + '.') + '\n' +
             fixed('DATA DIVISION.') + '\n' + fixed(section + ' SECTION.') + '\n' + text +
             ('' if text.endswith('\n') or not text else '\n') +
             fixed('PROCEDURE DIVISION.') + '\n' + fixed('    GOBACK.') + '\n')
    if name == 'FASTDIFF' and rng.randrange(2) == 0:
        whole += fixed('END PROGRAM FASTDIFF.') + '\n' + program(text, rng, 'FASTDIFF2')
    return whole


def mixed_copybook(rng, records):
    lines = []
    for r in range(1, records + 1):
        lines.append(fixed('01  REC-{:06d}.'.format(r)))
        for g in range(1, 3):
            lines.append(fixed('    05  G{}-{:06d}.'.format(g, r)))
            lines.append(fixed('        10  ID-{}-{:06d}        PIC 9(8).'.format(g, r)))
            lines.append(fixed('        10  AMT-{}-{:06d}       PIC S9(9)V99 COMP-3.'.format(g, r)))
            lines.append(fixed('        10  CNT-{}-{:06d}       PIC S9(4) COMP OCCURS 3.'.format(g, r)))
            lines.append(fixed('        10  NAME-{}-{:06d}      PIC X(30).'.format(g, r)))
            lines.append(fixed('        10  NAMR-{0}-{1:06d}      REDEFINES NAME-{0}-{1:06d} PIC 9(30).'.format(g, r)))
            lines.append(fixed('        10  ST-{}-{:06d}        PIC X VALUE "N".'.format(g, r)))
            lines.append(fixed('            88  OK-{}-{:06d}    VALUE "Y".'.format(g, r)))
    return ''.join(line + '\n' for line in lines)


def corpus_copybooks(corpus):
    books = []
    manifest = os.path.join(corpus, 'MANIFEST.tsv')
    if not os.path.exists(manifest):
        return books
    with open(manifest, encoding='utf-8') as f:
        next(f)
        for row in f:
            path = os.path.join(corpus, row.split('\t')[0])
            try:
                with open(path, encoding='latin-1') as book:
                    books.append(book.read().splitlines(keepends=True))
            except OSError:
                pass
    return books


def run_batch(binary, folder, options, fast):
    out = folder + ('.fast' if fast else '.slow')
    env = dict(os.environ)
    if not fast:
        env['VEXFCBL_NO_FAST_ENTRIES'] = '1'
    else:
        env.pop('VEXFCBL_NO_FAST_ENTRIES', None)
    run = subprocess.run([binary, '-batch', folder, '-od', out, '-pattern', '*.cpy', '-j', '1', '-q']
                         + options, env=env, capture_output=True)
    files = {}
    for root, _, names in os.walk(out):
        for name in names:
            with open(os.path.join(root, name), 'rb') as f:
                files[os.path.relpath(os.path.join(root, name), out)] = f.read()
    return run.returncode, run.stdout, run.stderr, files


def main():
    binary = sys.argv[1]
    corpus = sys.argv[2] if len(sys.argv) > 2 else ''
    if not corpus:
        corpus = os.environ.get('VEX_CORPUS_DIR') or os.path.join(
            os.environ.get('VEX_SOURCE_DIR', '.'), '..', 'shared', 'corpus')
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 600
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 35
    rng = random.Random(seed)
    books = corpus_copybooks(corpus) if corpus else []
    books.append(mixed_copybook(rng, 6).splitlines(keepends=True))
    work = tempfile.mkdtemp(prefix='fastdiff')
    failed = 0
    try:
        for style, options in (('fixed', []), ('free', ['-f']), ('comma', ['-c']),
                               ('lenient', ['-lenient']), ('program', ['-program'])):
            folder = os.path.join(work, style)
            share = count if style == 'fixed' else count // 3
            for i in range(share):
                book = books[i % len(books)] if i % 3 else books[-1]
                text = variant(rng, book)
                if style == 'free':
                    text = free_form(text)
                elif style == 'program':
                    text = program(text, rng)
                os.makedirs(os.path.join(folder, str(i // 100)), exist_ok=True)
                with open(os.path.join(folder, str(i // 100), 'v{}.cpy'.format(i)), 'w',
                          encoding='latin-1') as f:
                    f.write(text)
            fast = run_batch(binary, folder, options, True)
            slow = run_batch(binary, folder, options, False)
            same = fast == slow
            print('{}: {} variants, {}'.format(style, share, 'same' if same else 'DIFFERENT'))
            if not same:
                failed += 1
                for name in sorted(set(fast[3]) | set(slow[3])):
                    if fast[3].get(name) != slow[3].get(name):
                        print('  document differs:', name)
                if fast[1] != slow[1]:
                    a = fast[1].decode('latin-1').split('\n=== ')
                    b = slow[1].decode('latin-1').split('\n=== ')
                    for x, y in zip(a, b):
                        if x != y:
                            print('  messages differ:\n' + x[:600] + '\n  ---- without:\n' + y[:600])
                            break
        return 1 if failed else 0
    finally:
        if failed and os.environ.get('FAST_DIFF_KEEP'):
            print('kept', work)
        else:
            shutil.rmtree(work, ignore_errors=True)


if __name__ == '__main__':
    sys.exit(main())
