#!/usr/bin/env python3
"""Rules the sources keep, checked on the working tree.

- Names say what things are: no identifier in src/, tests/, tools/ or bench/
  carries a form designer's name (Form1, Timer3_Timer, mnuExit, Combo1,
  Check2, chkArray, Command1, Label5, Shape1, Frame1) or a type prefix (lng,
  str, bln, or i before a capital). Such words may stand in string literals
  (what the program writes: report headings, variable lines, captions) and in
  comments, never in code.
- The folders of src/core/ include one another one way only: no cycle.
- The end-to-end scripts (tests/e2e/**/*.sh) wait for something seen, never
  for a guessed time: no sleep but of a literal second or less; and the
  status of every wait and stop is looked at: such a call never stands alone
  as a statement, but is a condition of if, elif, while or until, is
  followed by || or &&, or is the last statement of a function, which then
  returns its status and is a wait in turn.

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


# The end-to-end libraries' waits and stops whose status says whether what
# was awaited came (the ones that report a failure themselves are not here).
E2E_WAITS = {
    "wait_until", "wait_poll_after", "next_poll", "wait_poll_saying", "wait_adjustment",
    "wait_adjusted", "wait_started", "wait_final", "end_game_seen", "start_program", "stop_pid",
    # the Wine side's
    "wait_for", "adjusted_to", "stop",
}
SHELL_OPERATORS = ("&&", "||", ";;", ";", "|", "&", "(", ")", "\n")
CONDITION_WORDS = {"if", "elif", "while", "until"}
CONDITION_ENDS = {"then", "do"}
COMMAND_STARTS = {"then", "do", "else", "!", "{", "}", "fi", "done", "esac", "time"}
SECONDS_LITERAL = re.compile(r"^(\d+(?:\.\d*)?|\.\d+)s?$")


def shell_tokens(text):
    """The words and control operators of a shell script, with their lines:
    quotes, substitutions and comments are kept inside words or dropped, so
    that a text in a string is never taken for a command."""
    tokens, i, n, line = [], 0, len(text), 1

    def skip_nested(j, close):
        # From just after an opening "$(" or "${" (or "`"), past its close.
        depth = 1
        while j < n and depth:
            c = text[j]
            if c == "\\":
                j += 2
                continue
            if c == "'" and close != "`":
                j = text.find("'", j + 1)
                j = n if j < 0 else j + 1
                continue
            if c == '"':
                j = skip_double(j + 1)
                continue
            if close == ")" and c == "(":
                depth += 1
            elif c == close:
                depth -= 1
            j += 1
        return j

    def skip_double(j):
        # From just after an opening double quote, past its close.
        while j < n and text[j] != '"':
            if text[j] == "\\":
                j += 2
            elif text.startswith("$(", j):
                j = skip_nested(j + 2, ")")
            elif text.startswith("${", j):
                j = skip_nested(j + 2, "}")
            elif text[j] == "`":
                j = skip_nested(j + 1, "`")
            else:
                j += 1
        return j + 1

    while i < n:
        c = text[i]
        if text.startswith("\\\n", i):
            i += 2
            line += 1
        elif c in " \t":
            i += 1
        elif c == "#":
            end = text.find("\n", i)
            i = n if end < 0 else end
        elif c == "\n":
            tokens.append(("\n", line))
            line += 1
            i += 1
        elif any(text.startswith(op, i) for op in SHELL_OPERATORS if op != "\n"):
            op = next(op for op in SHELL_OPERATORS if op != "\n" and text.startswith(op, i))
            tokens.append((op, line))
            i += len(op)
        else:
            start = i
            while i < n and text[i] not in " \t\n;&|()":
                if text[i] == "\\":
                    i += 2
                elif text[i] == "'":
                    end = text.find("'", i + 1)
                    i = n if end < 0 else end + 1
                elif text[i] == '"':
                    i = skip_double(i + 1)
                elif text.startswith(("$(", "<(", ">("), i):
                    i = skip_nested(i + 2, ")")
                elif text.startswith("${", i):
                    i = skip_nested(i + 2, "}")
                elif text[i] == "`":
                    i = skip_nested(i + 1, "`")
                else:
                    i += 1
            # An assignment's value may hold "(" of an array: take it whole.
            if text[start:i].endswith("=") and text.startswith("(", i):
                i = skip_nested(i + 1, ")")
            tokens.append((text[start:i], line))
            line += text.count("\n", start, i)
    return tokens


def e2e_findings(text, waits=frozenset(E2E_WAITS)):
    """(line, what) for each sleep longer than a second and each call of one
    of `waits` whose status nobody looks at; and the functions that return
    such a status, which are waits in turn."""
    tokens = shell_tokens(text)
    findings = []
    returning = set()
    in_condition = 0  # open if/while/until conditions
    braces = []  # the function's name for each open { of a function, else None
    at_start = True
    i = 0
    while i < len(tokens):
        word, line = tokens[i]
        if word in SHELL_OPERATORS:
            at_start = word != ")"
            i += 1
            continue
        if word == "{" and (at_start or tokens[i - 1][0] == ")"):
            function = i >= 3 and tokens[i - 1][0] == ")" and tokens[i - 2][0] == "("
            braces.append(tokens[i - 3][0] if function else None)
            at_start = True
            i += 1
            continue
        if not at_start:
            i += 1
            continue
        if word in CONDITION_WORDS:
            in_condition += 1
            i += 1
            continue
        if word in CONDITION_ENDS:
            in_condition = max(0, in_condition - 1)
            i += 1
            continue
        if word == "}":
            if braces:
                braces.pop()
            i += 1
            continue
        if word in COMMAND_STARTS:
            i += 1
            continue
        if tokens[i + 1:i + 3] and [t[0] for t in tokens[i + 1:i + 3]] == ["(", ")"]:
            i += 3  # a function's definition, not a call
            continue
        # A simple command: its words run to the next control operator.
        end = i + 1
        while end < len(tokens) and tokens[end][0] not in SHELL_OPERATORS:
            end += 1
        arguments = [token[0] for token in tokens[i + 1:end]]
        if word == "sleep" and not (len(arguments) == 1 and SECONDS_LITERAL.match(arguments[0]) and
                                    float(arguments[0].rstrip("s")) <= 1):
            findings.append((line, f"sleep {' '.join(arguments)}: wait for something seen instead"))
        if word in waits and not in_condition:
            after = tokens[end][0] if end < len(tokens) else "\n"
            following = end
            while following < len(tokens) and tokens[following][0] in ("\n", ";"):
                following += 1
            returned = (following < len(tokens) and tokens[following][0] == "}" and braces and
                        braces[-1] is not None)
            if returned:
                returning.add(braces[-1])
            elif after not in ("&&", "||"):
                findings.append((line, f"the status of {word} is not looked at"))
        at_start = False
        i = end
    return findings, returning


def e2e_script_findings(texts):
    """e2e_findings over the scripts together: a function of one that
    returns a wait's status is a wait in all of them."""
    waits = set(E2E_WAITS)
    while True:
        returning = set().union(*(e2e_findings(text, waits)[1] for text in texts.values()))
        if returning <= waits:
            break
        waits |= returning
    return {path: e2e_findings(text, waits)[0] for path, text in texts.items()}


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
    assert e2e_findings("""sleep 13
sleep 0.2; sleep 1
# sleep 15 in a comment
echo "sleep 15; stop_pid 1" 'wait_until 2'
while :; do sleep 1.5s; done
sleep "$wait"
""")[0] == [(1, "sleep 13: wait for something seen instead"),
            (5, "sleep 1.5s: wait for something seen instead"),
            (6, 'sleep "$wait": wait for something seen instead')]
    assert e2e_findings("""wait_until 10 ready
if wait_until 10 ready && stop_pid "$p"; then :; fi
until wait_for 5 shown; do :; done
stop_pid "$p" || fail "$(stop_pid x)"
x=$(wait_until 1 y); a && stop "Tavrolin.exe"
next_poll "$log" \\
  && pass
ready() { wait_until 60 grep -q x "$1"; }
stop() { kill "$1"; }
{ wait_adjustment w 1 60; }
f() {
  local a=(1 2)
  stop_pid "$1"
}
""") == ([(1, "the status of wait_until is not looked at"),
          (5, "the status of stop is not looked at"),
          (10, "the status of wait_adjustment is not looked at")], {"ready", "f"})
    assert e2e_script_findings({"lib": "ready() { wait_until 9 up; }", "script": "ready\nready || fail"}) == {
        "lib": [], "script": [(1, "the status of ready is not looked at")]}


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
    scripts = {path: path.read_text(encoding="utf-8", errors="replace")
               for path in sorted((root / "tests" / "e2e").rglob("*.sh"))}
    for path, found in e2e_script_findings(scripts).items():
        findings += [f"{path.relative_to(root)}:{line}: {what}" for line, what in found]
    cycle = folder_cycle(core_edges(root / "src" / "core"))
    if cycle:
        findings.append("src/core: the folders include one another in a cycle: " +
                        " -> ".join(cycle))
    for finding in findings:
        print(finding)
    return 1 if findings else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
