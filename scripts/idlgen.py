#!/usr/bin/env python3
"""Writes the C++ side of an IDL file: the build runs it (cmake/idl.cmake), never a person.

    scripts/idlgen.py IDL --root DIR --namespace NS --header OUT.h [--source OUT.cpp]
                      [-I DIR]... [--types-from IDL] [--shims [--shims-header OUT.h]]
                      [--classes --include H...] [--depfile FILE]

The header holds, in namespace NS, each interface that IDL defines as an abstract C++
struct (its members in dispatch-table order, get_/put_ before a property's name), its IID,
the library's and the classes' ids and the type library's version, and per interface a
macro NS_INTERFACE_OVERRIDES that declares its members in a class that implements them.
An interface that IDL imports from another project file comes from that file's header.

With --source (an IDL with a library), the source holds the dispatcher's descriptions of
every interface of the library and of the library itself, which its header declares as
INTERFACE_description() and LIBRARY_library(). A member's comment lines in the IDL add:
    // writes: ARG...         the arguments the member writes (by reference to the caller)
    // late-bound: FUNCTION   the member's late-bound form, which FUNCTION (declared in the
                              header, written by hand) makes from the generated one
--types-from names the IDL of another build of the same classes: the C++ types of the
members come from there (this IDL gives order, ids and type words).
--shims (component classes): per coclass a template INTERFACE_shim<D> whose members call
D's plain C++ members through oa::disp::entry, and a macro NS_INTERFACE_MEMBERS that
declares them in class D, in the header or with --shims-header in one of their own.
--classes: the coclasses are C++ classes of NS whose
description() and library() the source defines, with get_type_library(); --include names
the headers that declare them.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from idl import IdlError, attribute_text, load, notes_of  # noqa: E402

# IDL base type: (type word of the descriptions, C++ type)
BASE_TYPES = {"BSTR": ("String", "BSTR"), "short": ("Integer", "SHORT"), "long": ("Long", "LONG"),
              "VARIANT_BOOL": ("Boolean", "VARIANT_BOOL"), "VARIANT": ("Variant", "VARIANT"),
              "unsigned char": ("Byte", "BYTE"), "SAFEARRAY(unsigned char)": ("Byte()", "SAFEARRAY*"),
              "IDispatch": ("IDispatch", "IDispatch")}
# The spelling of oa::disp::entry's form for a member without a result.
NO_RESULT = "oa::disp::no_result"
# Plain C++ parameter (not written, written) and result of an IDL base type (shims).
PLAIN_ARGS = {"BSTR": ("BSTR", "BSTR&"), "short": ("SHORT", "SHORT&"), "long": ("LONG", "LONG&"),
              "VARIANT_BOOL": ("VARIANT_BOOL", "VARIANT_BOOL&"), "VARIANT": ("const VARIANT&", "VARIANT&"),
              "IDispatch": ("IDispatch*", None)}
PLAIN_RESULTS = {"BSTR": "oa::unique_bstr", "short": "SHORT", "long": "LONG", "VARIANT_BOOL": "VARIANT_BOOL",
                 "VARIANT": "oa::unique_variant", "IDispatch": "oa::com_ptr<IDispatch>"}
FLAGS = {"dual": "TYPEFLAG_FDUAL", "hidden": "TYPEFLAG_FHIDDEN", "nonextensible": "TYPEFLAG_FNONEXTENSIBLE",
         "oleautomation": "TYPEFLAG_FOLEAUTOMATION"}
KINDS = {"propget": ("get", "get_"), "propput": ("put", "put_"), "propputref": ("putref", "putref_")}


def kind_of(member):
    for attr, kind in KINDS.items():
        if attr in member["attrs"]:
            return kind
    return ("method", "")


def abi_name(member):
    return kind_of(member)[1] + member["name"]


def guid_parts(text, what):
    parts = text.split("-")
    if [len(p) for p in parts] != [8, 4, 4, 4, 12]:
        raise IdlError(f"{what}: bad uuid {text!r}")
    tail = parts[3] + parts[4]
    return [f"0x{parts[0].upper()}", f"0x{parts[1].upper()}", f"0x{parts[2].upper()}"] + \
        [f"0x{tail[i:i + 2].upper()}" for i in range(0, 16, 2)]


def guid_init(text, what):
    p = guid_parts(text, what)
    return f"{{{p[0]}, {p[1]}, {p[2]}, {{{', '.join(p[3:])}}}}}"


class Interface:
    """One interface as C++ and description text."""

    def __init__(self, iface, known, typed_by=None):
        self.name = iface["name"]
        self.iface = iface
        self.known = known
        label = lambda m: f"{self.name}.{abi_name(m)}"  # noqa: E731
        if iface["base"] != "IDispatch":
            raise IdlError(f"{self.name}: only IDispatch-based interfaces")
        self.members = []
        for m in iface["members"]:
            writes = notes_of(m, "writes")
            hooks = notes_of(m, "late-bound")
            names = [p["name"] for p in m["params"] if "retval" not in p["attrs"]]
            for w in writes:
                if w not in names:
                    raise IdlError(f"{label(m)}: writes {w}, which is not one of its arguments")
            if len(hooks) > 1:
                raise IdlError(f"{label(m)}: more than one late-bound form")
            if not m["attrs"].get("id"):
                raise IdlError(f"{label(m)} has no dispatch id")
            cxx = [self.cxx_type(p, label(m)) for p in m["params"]]
            if typed_by is not None:
                cxx = self.types_from(typed_by, m, label(m))
            self.members.append({"idl": m, "writes": writes, "hook": hooks[0] if hooks else None, "cxx": cxx})

    def types_from(self, other, m, label):
        """The C++ types of the same member of the other build's interface."""
        for o in other["members"]:
            if abi_name(o) == abi_name(m):
                if [p["name"] for p in o["params"]] != [p["name"] for p in m["params"]]:
                    raise IdlError(f"{label}: its arguments differ from the other build's")
                return [self.cxx_type(p, label) for p in o["params"]]
        raise IdlError(f"{label}: the other build has no such member")

    def word(self, param, label):
        base = param["type"]
        if base in BASE_TYPES:
            return BASE_TYPES[base][0]
        if base in self.known:
            return base
        raise IdlError(f"{label}: argument {param['name']} has a type without a type word: {base}")

    def cxx_type(self, param, label):
        self.word(param, label)
        base = BASE_TYPES.get(param["type"], (None, param["type"]))[1]
        return base + "*" * param["stars"]

    def flags(self):
        attrs = self.iface["attrs"]
        return " | ".join([f for a, f in FLAGS.items() if a in attrs] + ["TYPEFLAG_FDISPATCHABLE"])

    def abi_params(self, member):
        return ", ".join(f"{t} {p['name']}" for t, p in zip(member["cxx"], member["idl"]["params"]))

    def struct(self):
        lines = [f"struct {self.name} : IDispatch {{"]
        for m in self.members:
            lines.append(f"    virtual HRESULT STDMETHODCALLTYPE {abi_name(m['idl'])}({self.abi_params(m)}) = 0;")
        return lines + ["};"]

    def macro_name(self, namespace, what):
        return f"{namespace.upper()}_{self.name.upper()}_{what}"

    def overrides(self, namespace):
        lines = [f"HRESULT STDMETHODCALLTYPE {abi_name(m['idl'])}({self.abi_params(m)}) override;"
                 for m in self.members]
        return macro(self.macro_name(namespace, "OVERRIDES"), lines)

    def iid(self, namespace):
        parts = guid_parts(attribute_text(self.iface["attrs"], "uuid"), self.name)
        return f"OLEAUTO_DECLARE_IID({namespace}::{self.name}, {', '.join(parts)});"

    def description(self):
        lines = [f"const interface_desc& {self.name}_description() {{", f"    using I = {self.name};",
                 f"    static const interface_desc desc{{u\"{self.name}\", iid_of<I>(), {self.flags()}, {{"]
        for m in self.members:
            idl_m = m["idl"]
            label = f"{self.name}.{abi_name(idl_m)}"
            kind = kind_of(idl_m)[0]
            args = [p for p in idl_m["params"] if "retval" not in p["attrs"]]
            results = [p for p in idl_m["params"] if "retval" in p["attrs"]]
            dispid = attribute_text(idl_m["attrs"], "id")
            head = f"<&I::{abi_name(idl_m)}>({dispid}, u\"{idl_m['name']}\""
            if kind == "get":
                call = f"get{head}, u\"{self.word(results[0], label)}\")"
            elif kind in ("put", "putref"):
                call = f"{kind}{head}, u\"{self.word(args[0], label)}\")"
            else:
                signature = ", ".join(f"{self.word(p, label)} {'&' * (p['name'] in m['writes'])}{p['name']}"
                                      for p in args)
                if results:
                    call = f"method{head}, u\"{signature}\", u\"{self.word(results[0], label)}\")"
                else:
                    call = f"sub{head}, u\"{signature}\")"
            if m["hook"]:
                call = f"{m['hook']}({call})"
            lines.append(f"        {call},")
        return lines + ["    }};", "    return desc;", "}"]

    def shim(self, cls, namespace, progid):
        """The plain members' template and the macro that declares them in class cls."""
        lines = [f"template <class D> class {self.name}_shim : public oa::disp::dispatch_object<D, {self.name}> {{",
                 "public:"]
        declarations = [f"static constexpr std::u16string_view class_name = u\"{progid}\";",
                        "static const oa::disp::interface_desc& description();",
                        "static const oa::disp::library_desc* library();"]
        for m in self.members:
            idl_m = m["idl"]
            label = f"{self.name}.{abi_name(idl_m)}"
            args = [p for p in idl_m["params"] if "retval" not in p["attrs"]]
            results = [p for p in idl_m["params"] if "retval" in p["attrs"]]
            plain_args = []
            for p in args:
                forms = PLAIN_ARGS.get(p["type"])
                if forms is None or forms[p["name"] in m["writes"]] is None:
                    raise IdlError(f"{label}: no plain form of argument {p['name']}")
                plain_args.append(forms[p["name"] in m["writes"]])
            result = PLAIN_RESULTS[results[0]["type"]] if results else "void"
            name = abi_name(idl_m)
            pointer = f"static_cast<{result} (D::*)({', '.join(plain_args)})>(&D::{name})"
            passed = ", ".join(["static_cast<D*>(this)", results[0]["name"] if results else NO_RESULT] +
                               [p["name"] for p in args])
            lines += [f"    HRESULT STDMETHODCALLTYPE {name}({self.abi_params(m)}) final {{",
                      f"        return oa::disp::entry<{pointer}>({passed});", "    }"]
            if kind_of(idl_m)[0] == "put":  # put_X(nullptr) would match the plain put as well
                abi_type = self.abi_params(m).rsplit(" ", 1)[0]
                lines.append(f"    HRESULT {name}(std::nullptr_t) {{ return {name}(static_cast<{abi_type}>(nullptr)); }}")
            plain = ", ".join(f"{t} {p['name']}" for t, p in zip(plain_args, args))
            declarations += [f"using {self.name}_shim<{cls}>::{name};", f"{result} {name}({plain});"]
        return lines + ["};"], macro(self.macro_name(namespace, "MEMBERS"), declarations)


def macro(name, lines):
    body = [f"    {line} \\" for line in lines[:-1]] + [f"    {lines[-1]}"]
    return [f"#define {name} \\"] + body + [""]


def generate(options):
    include_dirs = options.include_dirs or []
    model = load(options.idl, include_dirs)
    top = os.path.normpath(options.idl)
    root = options.root
    rel = lambda f: os.path.relpath(f, root).replace(os.sep, "/")  # noqa: E731
    stem = lambda f: os.path.splitext(rel(f))[0] + "_idl.h"  # noqa: E731
    ns = options.namespace
    known = set(model["interfaces"])
    typed_by = load(options.types_from, include_dirs)["interfaces"] if options.types_from else {}
    interfaces = {name: Interface(i, known, typed_by.get(name) if options.types_from and i["file"] == top else None)
                  for name, i in model["interfaces"].items()}
    if options.types_from:
        for name, i in model["interfaces"].items():
            if i["file"] == top and name not in typed_by:
                raise IdlError(f"{name}: the other build has no such interface")
    own = [interfaces[n] for n, i in model["interfaces"].items() if i["file"] == top]
    imported = [f for f in model["files"] if f != top]
    library = model["library"]
    banner = [f"// Generated by scripts/idlgen.py from {rel(top)}; edit the IDL, not this file.", ""]

    h = banner + ["#pragma once", ""]
    h += [f"#include <{stem(f)}>" for f in imported]
    h += ["#include <oleauto.h>"]
    if options.source or options.shims:
        h += ["#include <oa/dispatch.h>"]
    if options.shims and not options.shims_header:
        h += ["#include <oa/com_ptr.h>", "#include <oa/unique.h>", "", "#include <string_view>"]
    h += ["", f"namespace {ns} {{", ""]
    if own:
        h += [f"struct {i.name};" for i in own] + [""]
        for i in own:
            h += i.struct() + [""]
        h += [f"}}  // namespace {ns}", ""] + [i.iid(ns) for i in own] + ["", f"namespace {ns} {{", ""]
    classes, progids = [], []
    if library:
        version = attribute_text(library["attrs"], "version").split(".")
        lcid = attribute_text(library["attrs"], "lcid") or "0"
        h += [f"inline constexpr GUID LIBID_{library['name']}"
              f"{guid_init(attribute_text(library['attrs'], 'uuid'), library['name'])};"]
        for c in model["coclasses"]:
            if c["interface"] not in interfaces:
                raise IdlError(f"coclass {c['name']}: no default interface")
            h.append(f"inline constexpr CLSID CLSID_{c['name']}{guid_init(attribute_text(c['attrs'], 'uuid'), c['name'])};")
            classes.append(c)
            if options.classes:
                progids.append(f"inline constexpr const char16_t* ProgID_{c['name']} = u\"{library['name']}.{c['name']}\";")
        h += progids
        h += [f"inline constexpr WORD type_library_major = {version[0]};",
              f"inline constexpr WORD type_library_minor = {version[1] if len(version) > 1 else 0};",
              f"inline constexpr LCID type_library_lcid = {lcid};", ""]
    if options.source:
        if not library:
            raise IdlError("descriptions need a library")
        for kind, name in library["types"]:
            if kind == "interface":
                h.append(f"const oa::disp::interface_desc& {name}_description();")
        h += [f"const oa::disp::library_desc& {library['name']}_library();"]
        hooks = sorted({m["hook"] for i in interfaces.values() for m in i.members if m["hook"]})
        if hooks:
            h += ["// Late-bound forms of members, written by hand: each makes its member from the generated one."]
            h += [f"oa::disp::member {hook}(oa::disp::member generated);" for hook in hooks]
        if options.classes:
            h += ["HRESULT get_type_library(ITypeLib** out) noexcept;"]
        h += [""]
    shims, macros = [], []
    if options.shims:
        for c in classes:
            i = interfaces[c["interface"]]
            if i not in own:
                continue
            shim, members = i.shim(c["name"], ns, f"{library['name']}.{c['name']}")
            shims += shim + [""]
            macros += members
    if not options.shims_header:
        h += shims
        shims = []
    h += [f"}}  // namespace {ns}", ""]
    if not options.shims:  # classes with plain members declare them through the shims' macros
        for i in own:
            h += i.overrides(ns)
    outputs = {}
    if options.shims_header:
        outputs[options.shims_header] = "\n".join(
            banner + ["#pragma once", "", f"#include <{stem(top)}>", "#include <oa/com_ptr.h>", "#include <oa/entry.h>",
                      "#include <oa/unique.h>", "", "#include <cstddef>", "#include <string_view>", "", f"namespace {ns} {{", ""] +
            shims + [f"}}  // namespace {ns}", ""] + macros).rstrip("\n") + "\n"
    else:
        h += macros
    empty = f"namespace {ns} {{\n\n}}  // namespace {ns}\n\n"
    outputs[options.header] = "\n".join(h).replace(empty, "").rstrip("\n") + "\n"

    if options.source:
        s = banner + [f"#include <{stem(top)}>"] + [f"#include <{inc}>" for inc in options.include or []]
        s += ["", f"namespace {ns} {{", "", "using namespace oa::disp;", ""]
        for kind, name in library["types"]:
            if kind == "interface":
                if name not in interfaces:
                    raise IdlError(f"library {library['name']}: no interface {name}")
                s += interfaces[name].description() + [""]
        s += ["namespace {", ""]
        for c in classes:
            s += [f"const coclass_desc& {c['name']}_class() {{",
                  f"    static const coclass_desc desc{{u\"{c['name']}\", CLSID_{c['name']}, TYPEFLAG_FCANCREATE, "
                  f"&{c['interface']}_description()}};", "    return desc;", "}", ""]
        s += ["}  // namespace", "", f"const library_desc& {library['name']}_library() {{",
              f"    static const library_desc desc{{u\"{library['name']}\", LIBID_{library['name']}, "
              "type_library_major, type_library_minor, type_library_lcid, {"]
        for kind, name in library["types"]:
            s.append(f"        {{&{name}_description(), nullptr}}," if kind == "interface"
                     else f"        {{nullptr, &{name}_class()}},")
        s += ["    }};", "    return desc;", "}", ""]
        if options.classes:
            for c in classes:
                s += [f"const interface_desc& {c['name']}::description() {{ return {c['interface']}_description(); }}",
                      f"const library_desc* {c['name']}::library() {{ return &{library['name']}_library(); }}"]
            s += [f"HRESULT get_type_library(ITypeLib** out) noexcept {{ return make_type_lib(&{library['name']}_library(), out); }}", ""]
        s += [f"}}  // namespace {ns}"]
        outputs[options.source] = "\n".join(s) + "\n"

    for path, text in outputs.items():
        old = None
        if os.path.exists(path):
            with open(path, encoding="utf-8") as f:
                old = f.read()
        if old != text:  # an unchanged file keeps its time: nothing recompiles
            os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
    if options.depfile:
        read = sorted(set(model["files"]) | (set(load(options.types_from, include_dirs)["files"])
                                              if options.types_from else set()))
        with open(options.depfile, "w", encoding="utf-8") as f:
            f.write(f"{options.header}: {' '.join(read)}\n")


def main():
    parser = argparse.ArgumentParser(description="Writes the C++ interfaces and descriptions of an IDL file.")
    parser.add_argument("idl")
    parser.add_argument("--root", required=True, help="the source folder that the include names start from")
    parser.add_argument("--namespace", required=True)
    parser.add_argument("--header", required=True)
    parser.add_argument("--source")
    parser.add_argument("-I", dest="include_dirs", action="append")
    parser.add_argument("--types-from")
    parser.add_argument("--shims", action="store_true")
    parser.add_argument("--shims-header", help="the shims and their macros in a header of their own")
    parser.add_argument("--classes", action="store_true")
    parser.add_argument("--include", action="append")
    parser.add_argument("--depfile")
    options = parser.parse_args()
    try:
        generate(options)
    except (IdlError, KeyError, IndexError) as e:
        sys.exit(f"{options.idl}: {e}")


if __name__ == "__main__":
    main()
