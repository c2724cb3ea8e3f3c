#!/bin/sh
# The probes the search sends are listed by hand in the README's table and in
# both manual pages: each list must be the one the usage gives, which the
# program makes from its table of probes.
# check_probes.sh PROGRAM SOURCE_DIR
program=$1 source=$2
LC_ALL=fr_FR.UTF-8 "$program" --help >"${TMPDIR:-/tmp}/pesolane_usage.$$" || { echo "FAIL --help"; exit 1; }
python3 - "${TMPDIR:-/tmp}/pesolane_usage.$$" "$source" <<'PY'
import re, sys
usage, source = open(sys.argv[1], encoding="utf-8").read(), sys.argv[2]
def between(text, start, end, where):
    text = " ".join(text.split())
    a = text.find(start)
    b = text.find(end, a + len(start))
    if a < 0 or b < 0:
        sys.exit(f"FAIL probe lists: {where}: no list between {start!r} and {end!r}")
    return text[a + len(start):b]
def items(text, then):
    # "X, Y, and Z then W" -> ["X", "Y", "Z+W"]: a probe, and what is sent after it.
    out = []
    for item in re.split(r",\s*", text.strip()):
        item = re.sub(r"^(and|et) ", "", item.strip())
        item = re.sub(rf"\s*\(?(?:{then})\s*([^)]*)\)?$", r"+\1", item)
        out.append(item)
    return out
want = items(between(usage, "ces seules questions : ", ". Rien", "the usage"), "suivi de")
if len(want) < 5:
    sys.exit(f"FAIL probe lists: the usage lists {want}")
lists = {
    "man/pesolane.1": items(between(open(f"{source}/man/pesolane.1").read(), "and nothing else:", "; the command", "man"), "followed by"),
    "man/pesolane.fr.1": items(between(open(f"{source}/man/pesolane.fr.1").read(), "et rien d'autre\\ :", "\\ ; la commande", "man fr"), "suivi de"),
}
readme = open(f"{source}/README.md", encoding="utf-8").read()
table = readme[readme.find("| Sent | Asks a weight of |"):]
rows = []
for line in table.splitlines()[2:]:
    if not line.startswith("|"):
        break
    cell = line.split("|")[1].replace("`", "").strip()
    rows.append(re.sub(r"\b([A-Z]) (?=[A-Z]\b)", r"\1", cell))  # `S I` spells SI byte by byte
lists["README.md"] = items(", ".join(r.replace(", then ", " then ") for r in rows), "then")
bad = [f"{name} lists {got}" for name, got in lists.items() if got != want]
for b in bad:
    print(f"FAIL probe lists: {b}, the table {want}")
if not bad:
    print(f"ok   probe lists: README and both manual pages list the table's {len(want)} probes")
sys.exit(1 if bad else 0)
PY
status=$?
rm -f "${TMPDIR:-/tmp}/pesolane_usage.$$"
exit $status
