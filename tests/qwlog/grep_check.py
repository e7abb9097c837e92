#!/usr/bin/env python3
"""--grep against Python's re, which agrees with qwlog's language where both have a construct.

One log holds every text of TEXTS as an entry; for each pattern (the table below, then random
patterns from a small grammar) the entries qwlog json --grep passes must be the ones re.search
finds. Prints what differs and exits 1 on any difference.
    grep_check.py QWLOG WORKDIR [RANDOM_PATTERNS]
"""
import json
import random
import re
import signal
import subprocess
import sys

TEXTS = [
    "", "a", "ab", "abc", "aXbXc", "aaaa", "abab", "b", "ba", "3 items", "x=10 y=200",
    "2024-03-05 09:08:07", "hello world", "tab\there", "a.b", "a+b", "(paren)", "[x]", "{2}",
    "back\\slash", "café", "naïve €", "0e0f", "000102030e0f", "zz", "_under_score", "AbC", "a\nb",
]
# Patterns both languages read alike, then what only the POSIX classes say.
TABLE = [
    "a", "^a", "a$", "^$", "^a$", "ab|ba", "a*", "a+b", "a?b", "(ab)+", "(ab){2}", "a{2,}", "a{1,3}c",
    "^a{4}$", "[abc]", "[^abc]", "[a-c]+$", "[]x]", "[x-]", "[-x]", "\\.", "a\\+b", "\\(paren\\)", "\\[x\\]",
    "\\{2\\}", "\\\\", "\\d+", "\\D", "\\w+_", "\\W", "\\s", "\\S+$", "[\\d.]+", "t\\th", "a.b", "caf.", "^.$",
    "ï", "[à-ÿ]", "€", "(?:ab|x)+c", "(a|b)*c", "((a|b)*)*c", "(|a)b", "a|", "0e0f$", ".*0e0f", "[0-9a-f]*zz",
    "x{0}", "a{0,1}b", "a*?b", "(a+)+$", "{2", "\\n", "a.b$",
]
POSIX = {"[[:digit:]]": "[0-9]", "[[:alpha:]]+": "[a-zA-Z]+", "[[:space:]]": "[\\t\\n\\v\\f\\r ]",
         "[[:upper:]][[:lower:]]": "[A-Z][a-z]", "[^[:alnum:]]": "[^a-zA-Z0-9]", "[[:punct:]]": "[!-/:-@\\[-`{-~]",
         "[[:xdigit:]]{4}": "[0-9a-fA-F]{4}"}


def random_pattern(rng, depth=0):
    atoms = ["a", "b", "c", "X", ".", "[ab]", "[^a]", "\\d", "0", "e", "f", "é"]
    if depth < 3 and rng.random() < 0.3:
        inner = "|".join(random_pattern(rng, depth + 1) for _ in range(rng.randint(1, 3)))
        atom = "(" + inner + ")"
    else:
        atom = rng.choice(atoms)
    out = atom + rng.choice(["", "", "*", "+", "?", "{2}", "{1,2}", "{0,}"])
    if rng.random() < 0.5 and depth < 4:
        out += random_pattern(rng, depth + 1)
    return ("^" if rng.random() < 0.1 else "") + out + ("$" if rng.random() < 0.1 else "")


def python_dot(pattern):
    """The pattern for re, whose '.' takes CR where qwlog's stops at both line-end characters."""
    out, i, bracket = "", 0, False
    while i < len(pattern):
        c = pattern[i]
        if c == "\\":
            out += pattern[i:i + 2]
            i += 2
            continue
        if c == "[" and not bracket:
            bracket = True
            out += c
            if pattern[i + 1:i + 2] == "^":
                out += "^"
                i += 1
            if pattern[i + 1:i + 2] == "]":
                out += "]"
                i += 1
        elif c == "]" and bracket:
            bracket = False
            out += c
        else:
            out += "[^\r\n]" if c == "." and not bracket else c
        i += 1
    return out


def reference(pattern):
    """The texts re finds the pattern in; None when its backtracking takes more than 2 s."""
    def give_up(*_):
        raise TimeoutError
    signal.signal(signal.SIGALRM, give_up)
    signal.alarm(2)
    try:
        return [i for i, t in enumerate(TEXTS) if re.search(python_dot(pattern), t.replace("\n", "\r\n"), re.ASCII)]
    except TimeoutError:
        return None
    finally:
        signal.alarm(0)


def main():
    qwlog, work = sys.argv[1], sys.argv[2]
    count = int(sys.argv[3]) if len(sys.argv) > 3 else 200
    path = work + "/090807_grep.log"
    with open(path, "wb") as f:
        f.write(b"\r\n------\r\n\r\n\r\n")
        for t in TEXTS:
            f.write(b"2024-03-05 09:08:07  " + t.replace("\n", "\r\n").encode() + b"\r\n\r\n")
    rng = random.Random(24)
    cases = [(p, p) for p in TABLE] + list(POSIX.items())
    cases += [(p, p) for p in (random_pattern(rng) for _ in range(count))]
    bad = slow = 0
    for ours, theirs in cases:
        want = reference(theirs)
        out = subprocess.run([qwlog, "json", "--kind", "entry", "--grep", ours, path], capture_output=True)
        if out.returncode != 0:
            print("pattern %r: exit %d %s" % (ours, out.returncode, out.stderr.decode().strip()))
            bad += 1
            continue
        texts = [json.loads(l)["text"] for l in out.stdout.decode().splitlines()]
        got = [TEXTS.index(t.replace("\r\n", "\n")) for t in texts]
        if want is None:
            slow += 1  # qwlog answered where re's backtracking gave up
        elif got != want:
            print("pattern %r: qwlog %s, re %s" % (ours, [TEXTS[i] for i in got], [TEXTS[i] for i in want]))
            bad += 1
    print("%d patterns, %d differ, %d that re gave up on after 2 s" % (len(cases), bad, slow))
    sys.exit(1 if bad else 0)


main()
