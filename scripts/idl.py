"""Reads the project's IDL files: interfaces with their members, classes and the library.

Shared by scripts/reference.py (the script writers' reference) and scripts/idlgen.py (the
C++ interfaces and dispatch descriptions). It reads the subset of IDL the project writes:
attributes, interfaces of HRESULT members, coclasses, one library, imports; each member
keeps the comment lines directly above it ("fails:", "example:", "writes:" ...).
"""
import os
import re


class IdlError(Exception):
    pass


def tokenize(text):
    """Comments, strings (escapes undone), words and single punctuation characters, each with its line."""
    pattern = re.compile(r'//(?P<comment>[^\n]*)|/\*.*?\*/|"(?P<string>(?:[^"\\\n]|\\.)*)"|(?P<word>[\w.]+)'
                         r'|(?P<space>\s+)|(?P<punct>.)', re.S)
    tokens = []
    line = 1
    for m in pattern.finditer(text):
        if m.group("comment") is not None:
            tokens.append(("comment", m.group("comment").strip(), line))
        elif m.group("string") is not None:
            tokens.append(("string", re.sub(r"\\(.)", r"\1", m.group("string")), line))
        elif m.group("word") is not None:
            tokens.append(("word", m.group("word"), line))
        elif m.group("punct") is not None:
            tokens.append(("punct", m.group("punct"), line))
        line += m.group(0).count("\n")
    return tokens


class Parser:
    def __init__(self, text):
        self.tokens = tokenize(text)
        self.pos = 0
        self.comments = []  # since the last declaration
        self.imports = []

    def peek(self):
        while self.pos < len(self.tokens) and self.tokens[self.pos][0] == "comment":
            self.comments.append(self.tokens[self.pos][1])
            self.pos += 1
        return self.tokens[self.pos] if self.pos < len(self.tokens) else (None, None, 0)

    def take(self, value=None):
        token = self.peek()
        if token[0] is None or (value is not None and token[1] != value):
            raise IdlError(f"line {token[2]}: expected {value or 'more'}, found {token[1]!r}")
        self.pos += 1
        return token

    def skip_statement(self):
        while self.take()[1] != ";":
            pass

    def attributes(self):
        """[name, name(args), ...] as {name: [argument tokens]}; empty when none."""
        found = {}
        if self.peek()[1] != "[":
            return found
        self.take("[")
        while True:
            name = self.take()[1]
            args = []
            if self.peek()[1] == "(":
                self.take("(")
                depth = 1
                while True:
                    token = self.take()
                    depth += {"(": 1, ")": -1}.get(token[1], 0) if token[0] == "punct" else 0
                    if depth == 0:
                        break
                    args.append(token)
            found[name] = args
            if self.take()[1] == "]":
                return found

    def document(self):
        library, interfaces, coclasses = None, {}, []
        while self.peek()[0] is not None:
            attrs = self.attributes()
            word = self.take()[1]
            if word == "import":
                self.imports.append(self.take()[1])
                self.skip_statement()
            elif word == "importlib":
                self.skip_statement()
            elif word == "interface":
                name = self.take()[1]
                if self.peek()[1] == ";":  # a forward declaration, or a reference inside the library
                    self.take(";")
                    if library is not None:
                        library["types"].append(("interface", name))
                    continue
                self.take(":")
                base = self.take()[1]
                interfaces[name] = {"name": name, "help": helpstring(attrs), "attrs": attrs, "base": base,
                                    "members": self.members()}
            elif word == "coclass":
                name = self.take()[1]
                self.take("{")
                default = None
                while self.peek()[1] != "}":
                    inner = self.attributes()
                    self.take("interface")
                    iface = self.take()[1]
                    self.take(";")
                    if "default" in inner:
                        default = iface
                self.take("}")
                if self.peek()[1] == ";":
                    self.take(";")
                coclasses.append({"name": name, "help": helpstring(attrs), "interface": default, "attrs": attrs})
                if library is not None:
                    library["types"].append(("coclass", name))
            elif word == "library":
                name = self.take()[1]
                self.take("{")
                version = "".join(t[1] for t in attrs.get("version", []))
                library = {"name": name, "help": helpstring(attrs), "version": version, "attrs": attrs, "types": []}
            elif word == "}":
                if self.peek()[1] == ";":
                    self.take(";")
            else:
                raise IdlError(f"unexpected {word!r}")
        return library, interfaces, coclasses

    def members(self):
        self.take("{")
        self.comments = []
        members = []
        while self.peek()[1] != "}":
            attrs = self.attributes()
            notes = self.comments
            self.comments = []
            self.take("HRESULT")
            name = self.take()[1]
            self.take("(")
            params = []
            while self.peek()[1] != ")":
                param_attrs = self.attributes()
                words, stars = [], 0
                while self.peek()[1] not in (",", ")"):
                    token = self.take()[1]
                    if token == "(":  # SAFEARRAY(unsigned char): one type word
                        inner = []
                        while self.peek()[1] != ")":
                            inner.append(self.take()[1])
                        self.take(")")
                        words[-1] += "(" + " ".join(inner) + ")"
                        continue
                    stars += token == "*"
                    if token != "*":
                        words.append(token)
                params.append({"name": words[-1], "type": " ".join(words[:-1]), "stars": stars,
                               "attrs": param_attrs})
                if self.peek()[1] == ",":
                    self.take(",")
            self.take(")")
            self.take(";")
            members.append({"name": name, "attrs": attrs, "params": params, "notes": notes})
        self.take("}")
        return members


def helpstring(attrs):
    args = attrs.get("helpstring")
    return args[0][1] if args and args[0][0] == "string" else ""


def attribute_text(attrs, name):
    """An attribute's argument as written, for uuid(...), version(...), id(...), lcid(...)."""
    return "".join(t[1] for t in attrs.get(name, []))


def notes_of(member, key):
    """The words of the member's comment lines "key: ..."."""
    prefix = key + ":"
    return [w for n in member["notes"] if n.startswith(prefix) for w in n[len(prefix):].split()]


def load(path, include_dirs=()):
    """The file and, before it, the project's files it imports (found beside it or in
    include_dirs; the system's oaidl.idl is not read). Returns {"library", "coclasses", "interfaces": {name: interface}}
    where each interface also carries "file", the IDL file that defines it."""
    seen = {}

    def read(file):
        file = os.path.normpath(file)
        if file in seen:
            return
        seen[file] = True
        with open(file, encoding="utf-8") as f:
            parser = Parser(f.read())
        try:
            library, interfaces, coclasses = parser.document()
        except IdlError as e:
            raise IdlError(f"{file}: {e}") from None
        for name in parser.imports:
            for folder in (os.path.dirname(file), *include_dirs):
                if os.path.exists(os.path.join(folder, name)):
                    read(os.path.join(folder, name))
                    break
        for iface in interfaces.values():
            iface["file"] = file
            model["interfaces"][iface["name"]] = iface
        if file == top:
            model["library"], model["coclasses"] = library, coclasses
        model["files"].append(file)

    top = os.path.normpath(path)
    model = {"library": None, "coclasses": [], "interfaces": {}, "files": []}
    read(top)
    return model
