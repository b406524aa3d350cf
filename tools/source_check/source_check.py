#!/usr/bin/env python3
"""Rules the sources keep, checked on the working tree.

- Names say what things are: no identifier in src/, tests/, tools/ or bench/
  carries a form designer's name (Form1, Timer3_Timer, mnuExit, Combo1,
  Check2, chkArray, Command1, Label5, Shape1, Frame1) or a type prefix (lng,
  str, bln, or i before a capital). Such words may stand in string literals
  (what the program writes: report headings, variable lines, captions) and in
  comments, never in code.
- The folders of src/core/ include one another one way only: no cycle.

  source_check.py ROOT      exit status 1 and one line per finding when a
                            rule is broken
"""

import pathlib
import re
import sys

SOURCE_DIRS = ("src", "tests", "tools", "bench")
CPP_SUFFIXES = {".h", ".cpp", ".in", ".rc"}

DESIGNER = re.compile(
    r"Form[1-3]|Form_[A-Z]|Timer\d+_Timer|^mnu|Combo\d|Check\d|chkArray|Command\d|"
    r"Label\d|Shape\d|Frame\d")
TYPE_PREFIX = re.compile(r"^(lng|str|bln|i)[A-Z]")
IDENTIFIER = re.compile(r"[A-Za-z_][A-Za-z0-9_]*")


def code_only(text, python=False):
    """The text with comments and string and character literals blanked."""
    out = []
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if python and c == "#":
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif not python and text.startswith("//", i):
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif not python and text.startswith("/*", i):
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
            out.append(" ")
        elif python and text.startswith(('"""', "'''"), i):
            end = text.find(text[i:i + 3], i + 3)
            i = n if end < 0 else end + 3
            out.append('""')
        elif c in "\"'":
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            i = j + 1
            out.append('""')
        elif c.isalnum() or c == "_":
            # A whole word at once, so that a digit separator (1'000) or a
            # literal's prefix (u8"...") never starts a literal by mistake.
            match = IDENTIFIER.match(text, i) or re.compile(r"[0-9A-Za-z_']+").match(text, i)
            out.append(match.group(0))
            i = match.end()
        else:
            out.append(c)
            i += 1
    return "".join(out)


def bad_names(text, python=False):
    found = set()
    for name in IDENTIFIER.findall(code_only(text, python)):
        if DESIGNER.search(name) or TYPE_PREFIX.match(name):
            found.add(name)
    return sorted(found)


INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.MULTILINE)


def folder_cycle(edges):
    """One cycle of the folder graph as a list of folders, or None."""
    state = {}

    def visit(folder, path):
        state[folder] = "open"
        for target in sorted(edges.get(folder, ())):
            if state.get(target) == "open":
                return path[path.index(target):] + [target]
            if target not in state:
                cycle = visit(target, path + [target])
                if cycle:
                    return cycle
        state[folder] = "done"
        return None

    for folder in sorted(edges):
        if folder not in state:
            cycle = visit(folder, [folder])
            if cycle:
                return cycle
    return None


def core_edges(core):
    edges = {}
    for path in sorted(core.rglob("*")):
        if path.suffix not in (".h", ".cpp"):
            continue
        folder = path.relative_to(core).parts[0]
        for target in INCLUDE.findall(path.read_text(encoding="utf-8", errors="replace")):
            if target != folder and (core / target).is_dir():
                edges.setdefault(folder, set()).add(target)
    return edges


def self_test():
    """The rules must catch what they are for, or a clean run proves nothing."""
    assert bad_names("int lngPID = 0; Form1 form;") == ["Form1", "lngPID"]
    assert bad_names("void Timer1_Timer(); auto x = mnuExit; int iLoop;") == [
        "Timer1_Timer", "iLoop", "mnuExit"]
    assert bad_names('log("Error occurred in Timer1_Timer"); // Form1\nint ok;') == []
    assert bad_names("const char c = '\"'; int strName;") == ["strName"]
    assert bad_names("bool isRunning; int index; auto i = 1'000; std::string str;") == []
    assert bad_names('x = "Combo1"  # Check2\nchkArray = 1', python=True) == ["chkArray"]
    assert folder_cycle({"a": {"b"}, "b": {"c"}, "c": {"a"}}) == ["a", "b", "c", "a"]
    assert folder_cycle({"a": {"b"}, "b": {"c"}}) is None


def main(argv):
    root = pathlib.Path(argv[1] if len(argv) > 1 else ".")
    self_test()
    findings = []
    for top in SOURCE_DIRS:
        for path in sorted((root / top).rglob("*")):
            python = path.suffix == ".py"
            if not path.is_file() or not (python or path.suffix in CPP_SUFFIXES):
                continue
            text = path.read_text(encoding="utf-8", errors="replace")
            for name in bad_names(text, python):
                findings.append(f"{path.relative_to(root)}: {name} is not a name that says what it is")
    cycle = folder_cycle(core_edges(root / "src" / "core"))
    if cycle:
        findings.append("src/core: the folders include one another in a cycle: " +
                        " -> ".join(cycle))
    for finding in findings:
        print(finding)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
