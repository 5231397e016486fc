#!/usr/bin/env python3
"""Lists the functions of C++ source files by length, longest first.

    tools/funclen.py [--over N] FILE...

A function is a body in braces that follows a parameter list at the level of
a namespace or a class; its length runs from the first line of its signature
to its closing brace. Lambdas and local classes count with the function they
are in. Comments, strings and character literals are skipped. With --over N
only the functions longer than N lines are listed, and the exit status is 1
when there are any.
"""
import re
import sys


def strip(text):
    """The text with comments, strings and character literals blanked (line
    breaks kept, so that line numbers stay)."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if text.startswith("//", i):
            j = text.find("\n", i)
            i = n if j < 0 else j
        elif text.startswith("/*", i):
            j = text.find("*/", i + 2)
            j = n if j < 0 else j + 2
            out.append("\n" * text.count("\n", i, j))
            i = j
        elif text.startswith('R"', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            k = text.find("(", i)
            delim = ")" + text[i + 2:k] + '"'
            j = text.find(delim, k)
            j = n if j < 0 else j + len(delim)
            out.append('""' + "\n" * text.count("\n", i, j))
            i = j
        elif c in "\"'":
            if c == "'" and i > 0 and text[i - 1].isalnum():  # digit separator 1'000
                i += 1
                continue
            j = i + 1
            while j < n and text[j] != c:
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
        else:
            out.append(c)
            i += 1
    return "".join(out)


def functions(path):
    text = strip(open(path, encoding="utf-8").read())
    # Preprocessor lines say nothing about braces.
    text = re.sub(r"(?m)^[ \t]*#.*$", "", text)
    found = []
    stack = []  # kinds of the open braces: ns, class, func, other
    head_start = 0  # where the text before the next brace at this level begins
    line = 1
    for i, c in enumerate(text):
        if c == "\n":
            line += 1
        elif c in ";{}" and (not stack or stack[-1] in ("ns", "class")):
            if c == ";":
                head_start = i + 1
            elif c == "{":
                head = text[head_start:i]
                words = head.split()
                if re.search(r"\bnamespace\b", head) or head.strip().startswith('extern ""'):
                    stack.append("ns")
                elif re.search(r"\b(class|struct|union|enum)\b", head) and "(" not in head.split("=")[0]:
                    stack.append("class")
                elif ")" in head and "=" not in head.split("(")[0]:
                    first = head_start + len(head) - len(head.lstrip())
                    name = re.findall(r"([~\w:]+|operator\W+)\s*\(", head)
                    stack.append("func")
                    found.append([name[0] if name else "?", line - head.count("\n", first), None, i])
                else:
                    stack.append("other")
                head_start = i + 1
            elif c == "}":
                if stack:
                    stack.pop()
                head_start = i + 1
        elif c in "{}":
            if c == "{":
                stack.append("other")
            else:
                kind = stack.pop()
                if kind == "func" and (not stack or stack[-1] in ("ns", "class")):
                    found[-1][2] = line
                    head_start = i + 1
                elif not stack or stack[-1] in ("ns", "class"):
                    head_start = i + 1
    return [(name, first, last) for name, first, last, _ in found if last is not None]


def main(argv):
    over = None
    if len(argv) > 1 and argv[0] == "--over":
        over = int(argv[1])
        argv = argv[2:]
    rows = []
    for path in argv:
        for name, first, last in functions(path):
            rows.append((last - first + 1, path, first, name))
    rows.sort(key=lambda r: (-r[0], r[1], r[2]))
    shown = [r for r in rows if over is None or r[0] > over]
    for length, path, first, name in shown:
        print(f"{length:5d}  {path}:{first}  {name}")
    return 1 if over is not None and shown else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
