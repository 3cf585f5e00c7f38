#!/usr/bin/env python3
"""The operator's documents in Chinese say what the English ones say: the
same commands and the same options of tollimer-central, in the manual page
and in the README's sections on the service and the TLS in front of it.

    docs_in_step.py SOURCE_DIR

Exits 1 and names what one text has and the other lacks.
"""

import re
import sys
from pathlib import Path

PROGRAM = "tollimer-central"
OPTION = re.compile(r"(?<![\w-])--[a-z][a-z0-9-]*")
WORD = re.compile(r"[a-z]+$")


def manual_terms(text):
    """The manual page's commands and options: its bold words (.B lines and
    \\fB spans), with roff's escaped minus signs read as hyphens."""
    text = text.replace("\\-", "-")
    terms = set(OPTION.findall(re.sub(r"\\f[BIRP]", " ", text)))
    bold = re.findall(r"^\.B (.+)$", text, re.M)
    bold = [re.split(r"\\f[RI]", line)[0] for line in bold]
    bold += re.findall(r"\\fB(.*?)\\f[RIP]", text)
    for span in bold:
        span = span.strip()
        if span and not span.startswith("-"):
            terms.add(span)
    return terms


def commands_of(line):
    """The commands a command line names: `tollimer-central [--config F]
    [--data D] release add FILE | release list # comment` gives "release add"
    and "release list"."""
    line = line.split("#", 1)[0].split(PROGRAM, 1)[1]
    line = re.sub(r"--(config|data) \S+", "", line)
    found = set()
    for part in re.split(r"\s\|\s", line):
        words = []
        for token in part.split():
            if not WORD.match(token) or len(words) == 2:
                break
            words.append(token)
        if words:
            found.add(" ".join(words))
    return found


def readme_terms(text):
    """The README section's commands (from its command lines and the code
    spans that start with the program's name) and every option it names."""
    terms = set(OPTION.findall(text))
    lines = [line.strip() for line in text.splitlines() if line.strip().startswith(PROGRAM + " ")]
    lines += re.findall(r"`(" + PROGRAM + r" [^`]+)`", text)
    for line in lines:
        terms.update(commands_of(line))
    return terms


README_SECTIONS = ("The central service", "TLS in front of the service")


def readme_section(readme):
    """The README's sections on the service and on the TLS in front of it,
    each from its heading to the next."""
    found = []
    for heading in README_SECTIONS:
        match = re.search(r"^## " + re.escape(heading) + r".*?(?=^## |\Z)", readme, re.M | re.S)
        if not match:
            raise SystemExit(f"README.md has no section \"## {heading}\"")
        found.append(match.group(0))
    return "\n".join(found)


def compare(name, english, chinese):
    problems = []
    if not english:
        problems.append(f"{name}: found no command or option in the English text")
    for term in sorted(english - chinese):
        problems.append(f"{name}: the Chinese text lacks {term!r}")
    for term in sorted(chinese - english):
        problems.append(f"{name}: the English text lacks {term!r}")
    return problems


def main(source):
    source = Path(source)
    read = lambda path: (source / path).read_text(encoding="utf-8")  # noqa: E731
    pairs = [
        ("manual page", manual_terms(read("packaging/debian/tollimer-central.8")),
         manual_terms(read("docs/tollimer-central.zh_CN.8"))),
        ("README's service section", readme_terms(readme_section(read("README.md"))),
         readme_terms(read("docs/central-service.zh_CN.md"))),
    ]
    problems = [p for pair in pairs for p in compare(*pair)]
    for name, english, _ in pairs:
        print(f"{name}: {len(english)} commands and options: {', '.join(sorted(english))}")
    for problem in problems:
        print(problem, file=sys.stderr)
    return 1 if problems else 0


if __name__ == "__main__":
    if len(sys.argv) != 2:
        raise SystemExit(__doc__)
    sys.exit(main(sys.argv[1]))
