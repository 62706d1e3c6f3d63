#!/usr/bin/env python3
"""Writes the script writers' reference (Markdown) from the component's IDL.

    scripts/reference.py [--idl FILE] [OUTPUT]     writes OUTPUT, or standard output
    scripts/reference.py [--idl FILE] --check FILE  fails with a diff when FILE is stale

The IDL's first comment describes the helpstrings and the "fails:", "example:", "note:"
and "writes:" lines read here. A member without them, or with a failure item outside that format, stops the
run with a message naming the member.
"""
import argparse
import difflib
import os
import re
import sys

from idl import IdlError, Parser, helpstring, notes_of

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFAULT_IDL = os.path.join(ROOT, "component", "quellar2mrapi.idl")
REGENERATE = "python3 scripts/reference.py docs/reference.md"

# The automation type of each IDL base type; arguments and results are all pointers.
AUTOMATION_TYPES = {"BSTR": "String", "short": "Integer", "long": "Long", "VARIANT_BOOL": "Boolean",
                    "VARIANT": "Variant", "IDispatch": "Object"}
PLACEHOLDERS = {"FAILURE", "NUMBER"}
VALUES = {"False", "Empty"}


def automation_type(param, member):
    base = AUTOMATION_TYPES.get(param["type"])
    # Every argument is by reference; an object is a pointer already.
    if base is None or param["stars"] != 1 + (param["type"] == "IDispatch"):
        raise IdlError(f"{member}: argument {param['name']} is not an automation type by reference")
    return base


def failure_items(text, member, arguments):
    """The items of a fails: line as lists of ("text" | "word", value), each checked."""
    items, errors = [], []
    for raw in split_items(text):
        pieces = [("text", m.group(1)) if m.group(1) is not None else ("word", m.group(2))
                  for m in re.finditer(r'"([^"]*)"|(\S+)', raw)]
        words = [v for k, v in pieces if k == "word"]
        if not pieces:
            errors.append("an empty failure item")
        elif words and words[0] == "raises":
            rest = pieces[1:]
            if not (rest == [("word", "FAILURE")] or
                    (len(rest) == 2 and rest[0][0] == "word" and rest[0][1].isdigit() and rest[1][0] == "text")):
                errors.append(f"'{raw}' raises neither FAILURE nor a number and its \"description\"")
        elif pieces == [("word", "none")] or (len(pieces) == 1 and words and words[0] in VALUES):
            pass
        else:
            unknown = [w for w in words if w not in PLACEHOLDERS and w not in arguments]
            if unknown:
                errors.append(f"'{raw}' names {', '.join(unknown)}, neither a placeholder nor an argument")
        items.append(pieces)
    if errors:
        raise IdlError(f"{member}: " + "; ".join(errors))
    return items


def split_items(text):
    items, current, quoted = [], "", False
    for c in text:
        if c == '"':
            quoted = not quoted
        if c == ";" and not quoted:
            items.append(current.strip())
            current = ""
        else:
            current += c
    items.append(current.strip())
    return items


def interface_entries(iface):
    """The interface's members in dispatch-table order, a property's put and get as one entry."""
    entries, errors, by_name = [], [], {}
    for m in iface["members"]:
        label = f"{iface['name']}.{m['name']}"
        kind = "put" if "propput" in m["attrs"] else "get" if "propget" in m["attrs"] else "method"
        dispid = int(m["attrs"]["id"][0][1], 0) if m["attrs"].get("id") else None
        help_text = helpstring(m["attrs"])
        if not help_text:
            errors.append(f"{label} ({kind}) has no helpstring")
        if dispid is None:
            errors.append(f"{label} has no dispatch id")
        try:
            args = [(p["name"], automation_type(p, label)) for p in m["params"] if "retval" not in p["attrs"]]
            results = [AUTOMATION_TYPES.get(p["type"]) for p in m["params"] if "retval" in p["attrs"]]
        except IdlError as e:
            errors.append(str(e))
            continue
        entry = by_name.get(m["name"]) if kind != "method" else None
        if entry is None:
            entry = {"name": m["name"], "id": dispid, "kinds": [], "args": [], "result": None, "help": help_text,
                     "notes": [], "label": label}
            entries.append(entry)
            if kind != "method":
                by_name[m["name"]] = entry
        elif entry["help"] != help_text:
            errors.append(f"{label}: its put and get carry different helpstrings")
        entry["kinds"].append(kind)
        entry["notes"] += m["notes"]
        if kind == "method":
            entry["args"] = args
        entry["result"] = results[0] if results else entry["result"] or (args[0][1] if kind == "put" else None)
    for entry in entries:
        fails = [n[len("fails:"):].strip() for n in entry["notes"] if n.startswith("fails:")]
        examples = [n[len("example:"):].strip() for n in entry["notes"] if n.startswith("example:")]
        if len(fails) != 1 or not fails[0]:
            errors.append(f"{entry['label']} needs one 'fails:' line, has {len(fails)}")
        if len(examples) != 1 or not examples[0]:
            errors.append(f"{entry['label']} needs one 'example:' line, has {len(examples)}")
        try:
            entry["fails"] = failure_items(fails[0], entry["label"], {a for a, _ in entry["args"]}) if fails else []
        except IdlError as e:
            errors.append(str(e))
        entry["example"] = examples[0] if examples else ""
        # writes: the arguments the member writes; scripts/idlgen.py makes them by reference.
        for name in notes_of({"notes": entry["notes"]}, "writes"):
            if name not in {a for a, _ in entry["args"]}:
                errors.append(f"{entry['label']} writes {name}, which is not one of its arguments")
        entry["remarks"] = [n[len("note:"):].strip() for n in entry["notes"] if n.startswith("note:")]
    return entries, errors


def kind_text(kinds):
    if kinds == ["method"]:
        return "method"
    return "property " + "+".join(k for k in ("get", "put") if k in kinds)


def code(text):
    if "`" in text:
        raise IdlError(f"a backtick in {text!r}")
    return f"`{text}`"


def failure_text(pieces):
    out = []
    for kind, value in pieces:
        if kind == "text":
            out.append(code(f'"{value}"'))
        elif value in PLACEHOLDERS or value not in VALUES | {"raises", "none"} and not value.isdigit():
            out.append(f"*{value}*")
        else:
            out.append(f"**{value}**" if value == "raises" else value)
    return " ".join(out)


INTRO = """\
Members are listed in the order of their dispatch table. Every argument is passed by
reference, so a member may write to the variable a script passes (Login does). The types
are String, Integer (16-bit), Long (32-bit), Boolean, Variant and Object.

Under *Failures*, each line is one result a member gives when it fails, pieced together
without blanks between the pieces: a quoted text stands for exactly those characters,
blanks included; *FAILURE* for the failure's number with its sign position (a blank before
a number of zero or more, `-` before a negative one), one blank and its description, as in
`" 91 Object variable or With block variable not set"`; *NUMBER* for a number with its
sign position; an argument's name for the text it holds. **raises** marks a failure of the
call itself, which a script sees in `Err.Number` and `Err.Description`; none, a member
that does not fail. An Integer argument or property takes whole numbers from -32768 to
32767: a value beyond (40000) raises 6 "Overflow" before the member runs.

The examples are lines of a script in which `session` is a `quellar2mrapi.t2mrapp` and
`value` a `quellar2mrapi.t2DataClass`, run against the standard fixture
`tests/fixtures/standard.json` (`standard.json` in the script kit's folder): the server
`localhost`, port 8400, protocol `tcp`, host name `cm1.example.test`; the user `jane`,
password `s3cret`, roles Admin and developer, in the databases `/db/alpha` and `/db/beta`;
the CRs 17 and 18; the objects 4711, 4712 and 4713. Against the built-in default server
(user `dev`, database `/db/main`) the `Login` example fails, and every later call with it.
To load the fixture:

- the Windows script host of the script kit, in its folder:
  `q2mrhost.exe --server standard.json SCRIPT.vbs`; from a build,
  `scripts/wine-host.sh --server tests/fixtures/standard.json SCRIPT.vbs`;
- the Lua host: `q2mrhost --server tests/fixtures/standard.json SCRIPT.lua`;
- the stock `cscript`, with the emulated library registered (`regsvr32 mrlib.dll` in the
  script kit's folder): the script loads the fixture itself and keeps the control object
  for the run:

      Set emu = CreateObject("mrlib.Emulator")
      emu.LoadFixture "C:\\Program Files\\quellar2mrapi-scriptkit\\standard.json\""""


def render(library, interfaces, coclasses):
    errors = []
    if not library:
        raise IdlError("no library")
    lines = [f"# {library['name']} automation reference", ""]
    for what, item in [("library " + library["name"], library)] + \
            [("interface " + i["name"], i) for i in interfaces.values()] + \
            [("coclass " + c["name"], c) for c in coclasses]:
        if not item["help"]:
            errors.append(f"{what} has no helpstring")
    lines += [f"{library['help']} Type library `{library['name']}` {library['version']}.", "",
              f"This file is generated from `component/quellar2mrapi.idl` by `scripts/reference.py`: "
              f"edit the IDL, then run `{REGENERATE}`.", "", INTRO, ""]
    sections = []
    for cls in coclasses:
        iface = interfaces.get(cls["interface"])
        if iface is None:
            errors.append(f"coclass {cls['name']} has no default interface")
            continue
        entries, found = interface_entries(iface)
        errors += found
        if found:
            continue
        sections += [f"## Class `{cls['name']}` (interface `{iface['name']}`)", "",
                     f"{cls['help']} {iface['help']}", "",
                     "| kind | member | dispatch id | arguments | result |", "|---|---|---|---|---|"]
        for e in entries:
            args = ", ".join(f"`{n}` {t}" for n, t in e["args"]) or "—"
            sections.append(f"| {kind_text(e['kinds'])} | `{e['name']}` | 0x{e['id']:08X} | {args} | "
                            f"{e['result'] or '—'} |")
        sections.append("")
        for e in entries:
            sections += [f"### `{e['name']}`", "", e["help"], "", "Failures:", ""]
            sections += [f"- {failure_text(item)}" for item in e["fails"]]
            for remark in e["remarks"]:
                sections += ["", remark]
            sections += ["", "Example:", "", "    " + e["example"], ""]
    if errors:
        raise IdlError("\n".join(errors))
    return "\n".join(lines + sections).rstrip("\n") + "\n"


def main():
    parser = argparse.ArgumentParser(description="Writes the script writers' reference from the IDL.")
    parser.add_argument("--idl", default=DEFAULT_IDL)
    parser.add_argument("--check", metavar="FILE", help="compare with FILE instead of writing")
    parser.add_argument("output", nargs="?")
    options = parser.parse_args()
    try:
        with open(options.idl, encoding="utf-8") as f:
            text = render(*Parser(f.read()).document())
    except IdlError as e:
        sys.exit(f"{options.idl}:\n{e}")
    if options.check:
        with open(options.check, encoding="utf-8") as f:
            old = f.read()
        if old != text:
            sys.stdout.writelines(difflib.unified_diff(old.splitlines(True), text.splitlines(True),
                                                       options.check, "generated"))
            sys.exit(f"{options.check} is out of date; regenerate it with: {REGENERATE}")
    elif options.output:
        with open(options.output, "w", encoding="utf-8") as f:
            f.write(text)
    else:
        sys.stdout.write(text)


if __name__ == "__main__":
    main()
