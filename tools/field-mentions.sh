#!/usr/bin/env bash
# For every field of the table in records/fields.cpp: the C++ files outside tests/ and the
# emulator (which keeps its own model of the printer) that name it, by its document key as a
# string ("blank_space_len"), its record member (.BlankSpaceLen, ::BlankSpaceLen, the table's
# KRT6_MEMBER(P, BlankSpaceLen)) or a name built on it (kBlankSpaceLen, ComboBoxBlankSpaceLen,
# EditIPAddress1). Members that are common words (Code, Parity, Speed, StopBit) also match other
# records' members of that name (a result's .Code, the serial line's .Parity): read the list. Prints
# "count key member: files" per field, the most named first. The fields are this checkout's; the
# files those of the checkout given (an older one, to compare), this one by default:
#   tools/field-mentions.sh [checkout]
set -euo pipefail
table="$(cd "$(dirname "$0")/.." && pwd)/records/fields.cpp"
cd "${1:-$(dirname "$0")/..}"
TABLE="$table" python3 - <<'PY'
import os, re, subprocess
table = open(os.environ['TABLE']).read()
rows = re.findall(r'"([a-z0-9_]+)",[^"]*?KRT6_MEMBER\([PL], (\w+)\)', table, re.S)
sources = [f for f in subprocess.run(['git', 'ls-files', '*.cpp', '*.h'], capture_output=True,
           text=True).stdout.split() if not f.startswith(('tests/', 'emulator/'))]
texts = {f: open(f, errors='replace').read() for f in sources}
out = []
for key, member in rows:
    m = re.escape(member)
    pattern = re.compile(r'"%s"|[.>:]%s\b|, %s\)|\b(k|ComboBox|Edit|Label)%s\d?\b|'
                         r'^\s*[\w:]+ %s(\[\d+\])? = ' % (re.escape(key), m, m, m, m), re.M)
    files = [f for f, t in texts.items() if pattern.search(t)]
    out.append((len(files), key, member, files))
for n, key, member, files in sorted(out, key=lambda r: -r[0]):
    print(n, key, member + ':', ' '.join(files))
PY
