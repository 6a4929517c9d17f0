"""The user's guide (docs/guia.md) against the program: the pictures it shows are there, the
messages it quotes are the program's, and its examples of --check are what the program prints
today. Prints PASS/FAIL lines and "N passed, N failed".

guide.py BUILD_DIR SOURCE_DIR
"""
import os
import re
import subprocess
import sys
import tempfile

build, source = (os.path.abspath(a) for a in sys.argv[1:3])
guide_path = os.path.join(source, "docs", "guia.md")
with open(guide_path, encoding="utf-8") as f:
    guide = f.read()

passed = failed = 0


def check(name, ok, detail=""):
    global passed, failed
    if ok:
        passed += 1
        print("PASS: " + name)
    else:
        failed += 1
        print("FAIL: " + name + (("\n" + detail) if detail else ""))


# ---- the pictures: each one the guide shows is a PNG beside it
pictures = re.findall(r"!\[[^\]]*\]\(([^)\s]+)\)", guide)
check("the guide shows pictures", len(pictures) >= 6, str(pictures))
for picture in pictures:
    path = os.path.join(os.path.dirname(guide_path), picture)
    try:
        with open(path, "rb") as f:
            is_png = f.read(8) == b"\x89PNG\r\n\x1a\n"
    except OSError:
        is_png = False
    check("the picture %s is there (tools/screenshot makes it)" % picture, is_png)


# ---- the messages: every line of a quote is a text of the program
def literals(text):
    """The string literals of C++ source, adjacent ones joined, escapes read."""
    token = re.compile(r'//[^\n]*|/\*.*?\*/|\'(?:[^\'\\\n]|\\.)*\'|"((?:[^"\\\n]|\\.)*)"', re.S)
    escapes = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "'": "'", "\\": "\\"}
    found, last_end = [], None
    for m in token.finditer(text):
        if m.group(1) is None:
            continue
        value = re.sub(r"\\(.)", lambda e: escapes.get(e.group(1), e.group(0)), m.group(1))
        between = text[last_end:m.start()] if last_end is not None else "x"
        if last_end is not None and not re.sub(r"//[^\n]*|/\*.*?\*/", "", between, flags=re.S).strip():
            found[-1] += value
        else:
            found.append(value)
        last_end = m.end()
    return found


corpus = []
for folder in ("app", "conversion", "db", "ui"):
    for root, _, names in sorted(os.walk(os.path.join(source, folder))):
        for name in sorted(names):
            if name.endswith((".cpp", ".h")):
                with open(os.path.join(root, name), encoding="utf-8") as f:
                    corpus += literals(f.read())
corpus = "\0".join(corpus)
check("the program's texts are read", "Dados atualizados com sucesso! " in corpus)

quoted = [line.lstrip()[1:].strip() for line in guide.splitlines() if line.lstrip().startswith(">")]
quoted = [line for line in quoted if line]
check("the guide quotes the program's messages", len(quoted) >= 20, str(len(quoted)))
for line in quoted:
    # What varies is in italics or an ellipsis. The program's name before a line of the command
    # line is the console's, and "Motivo: " before a reason the run's.
    text = re.sub(r"^(conversor: |Motivo: )", "", line)
    pieces = [p.strip(" :;,'()") for p in re.split(r"\*[^*]+\*|…", text)]
    missing = [p for p in pieces if len(p) >= 4 and p not in corpus]
    check("the program says: " + line, not missing, "not in the sources: %s" % missing)


# ---- the examples: each block tools/screenshot fills holds a command, its output and status
blocks = re.findall(r"^<!-- saida: ([a-z-]+) -->\n```\n(.*?)```\n<!-- /saida -->$", guide, re.S | re.M)
named = re.findall(r"^<!-- saida: ([a-z-]+) -->$", guide, re.M)
check("every example is filled in (tools/screenshot)", len(blocks) == len(named) and named, str(named))
for name, block in blocks:
    lines = block.splitlines()
    check("the example %s: a command, what it printed, its status" % name,
          len(lines) >= 4 and lines[0].startswith("$ conversor ") and lines[-2] == "$ echo $?"
          and lines[-1].isdigit(), block)

# The --check examples, run again on the guide's databases as tools/screenshot makes them.
databases = {"loja.fb": ["guide-db.sql"], "filial.fb": ["guide-db.sql", "guide-branch.sql"]}
with tempfile.TemporaryDirectory(prefix="conversor-test-") as work:
    env = dict(os.environ, FIREBIRD_LOCK=os.path.join(work, "lock"), XDG_STATE_HOME=os.path.join(work, "state"))
    os.mkdir(env["FIREBIRD_LOCK"], 0o700)
    for name, scripts in databases.items():
        made = subprocess.run([os.path.join(source, "tools", "make-sample-db"), os.path.join(work, name)]
                              + [os.path.join(source, "tools", s) for s in scripts],
                              env=env, capture_output=True, text=True)
        check("the guide's database %s is made" % name, made.returncode == 0, made.stderr)
    checks = [(name, block) for name, block in blocks if block.startswith("$ conversor --check ")]
    check("the guide shows --check on both databases", len(checks) == 2, str([n for n, _ in checks]))
    for name, block in checks:
        lines = block.splitlines()
        run = subprocess.run([os.path.join(build, "conversor")] + lines[0].split()[2:], cwd=work, env=env,
                             capture_output=True, text=True)
        shown = "\n".join(lines[1:-2]) + "\n"
        # As tools/screenshot shows it: what stays on a terminal.
        printed = run.stdout + "".join(l + "\n" for l in run.stderr.splitlines() if l.startswith("conversor: "))
        check("the example %s is what --check prints now (else run tools/screenshot)" % name,
              printed == shown and str(run.returncode) == lines[-1],
              "the guide:\n%s  status %s\nthe program:\n%s%s  status %d"
              % (shown, lines[-1], run.stdout, run.stderr, run.returncode))

print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
