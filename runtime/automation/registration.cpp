// The rows, installer elements and manifest entries of a library's one description.
#include <oa/registration.h>

#include <cstdio>

namespace oa::reg {

namespace {

std::string version_of(const library& lib) { return std::to_string(lib.major) + "." + std::to_string(lib.minor); }

// Text for an XML attribute value.
std::string xml(std::string_view text) {
    std::string out;
    for (char c : text) switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    return out;
}

// The installer's formatted text takes [ and ] as its own; written as [\[] and [\]].
std::string formatted(std::string_view text) {
    std::string out;
    for (char c : text) out += c == '[' ? "[\\[]" : c == ']' ? "[\\]]" : std::string(1, c);
    return out;
}

}  // namespace

std::string guid_text(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", static_cast<unsigned>(g.Data1),
                  g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6],
                  g.Data4[7]);
    return text;
}

std::vector<row> rows(const library& lib, std::string_view path, bitness bits) {
    std::vector<row> out;
    const auto add = [&out](std::string key, std::string_view name, std::string_view value) {
        out.push_back({std::move(key), std::string(name), std::string(value)});
    };
    const std::string libid = lib.libid ? guid_text(*lib.libid) : std::string();
    for (const coclass_entry& c : lib.classes) {
        const std::string key = "CLSID\\" + guid_text(c.clsid);
        const bool versioned = c.version_independent != c.progid;
        add(key, "", c.description);
        add(key + "\\InprocServer32", "", path);
        add(key + "\\InprocServer32", "ThreadingModel", c.threading);
        add(key + "\\ProgID", "", c.progid);
        add(key + "\\VersionIndependentProgID", "", c.version_independent);
        if (lib.libid) {
            add(key + "\\TypeLib", "", libid);
            add(key + "\\Version", "", version_of(lib));
        }
        add(std::string(c.progid), "", c.description);
        add(std::string(c.progid) + "\\CLSID", "", guid_text(c.clsid));
        if (versioned) {
            add(std::string(c.version_independent), "", c.description);
            add(std::string(c.version_independent) + "\\CLSID", "", guid_text(c.clsid));
            add(std::string(c.version_independent) + "\\CurVer", "", c.progid);
        }
    }
    if (lib.libid) {
        char lcid[16];
        std::snprintf(lcid, sizeof lcid, "%x", static_cast<unsigned>(lib.lcid));
        const std::string key = "TypeLib\\" + libid + "\\" + version_of(lib);
        const std::string platform = bits == bitness::x86 ? "\\win32" : "\\win64";
        add(key, "", lib.name);
        add(key + "\\" + lcid + platform, "", path);
        // The type-library marshaler looks the library up under the neutral locale.
        if (lib.lcid != 0) add(key + "\\0" + platform, "", path);
        add(key + "\\FLAGS", "", "0");
    }
    const std::string marshaler = guid_text(typelib_marshaler);
    for (const interface_entry& i : lib.interfaces) {
        const std::string key = "Interface\\" + guid_text(i.iid);
        add(key, "", i.name);
        add(key + "\\ProxyStubClsid", "", marshaler);
        add(key + "\\ProxyStubClsid32", "", marshaler);
        if (lib.libid) {
            add(key + "\\TypeLib", "", libid);
            add(key + "\\TypeLib", "Version", version_of(lib));
        }
    }
    return out;
}

std::string installer_rows(const library& lib, std::string_view file_reference, bitness bits) {
    std::string out;
    for (const row& r : rows(lib, "\x01", bits)) {
        std::string value = r.value == "\x01" ? std::string(file_reference) : formatted(r.value);
        out += "<RegistryValue Root=\"HKCR\" Key=\"" + xml(r.key) + "\"";
        if (!r.name.empty()) out += " Name=\"" + xml(r.name) + "\"";
        out += " Value=\"" + xml(value) + "\" Type=\"string\"/>\n";
    }
    return out;
}

std::string manifest_entries(const library& lib) {
    const std::string libid = lib.libid ? guid_text(*lib.libid) : std::string();
    std::string out = "  <file name=\"" + xml(lib.file) + "\">\n";
    for (const coclass_entry& c : lib.classes) {
        out += "    <comClass clsid=\"" + guid_text(c.clsid) + "\" progid=\"" + xml(c.progid) + "\" threadingModel=\"" +
               xml(c.threading) + "\" description=\"" + xml(c.description) + "\"";
        if (lib.libid) out += " tlbid=\"" + libid + "\"";
        if (c.version_independent != c.progid)
            out += ">\n      <progid>" + xml(c.version_independent) + "</progid>\n    </comClass>\n";
        else
            out += "/>\n";
    }
    if (lib.libid)
        out += "    <typelib tlbid=\"" + libid + "\" version=\"" + version_of(lib) + "\" helpdir=\"\" flags=\"\"/>\n";
    out += "  </file>\n";
    for (const interface_entry& i : lib.interfaces) {
        out += "  <comInterfaceExternalProxyStub iid=\"" + guid_text(i.iid) + "\" name=\"" + xml(i.name) +
               "\" proxyStubClsid32=\"" + guid_text(typelib_marshaler) + "\"";
        if (lib.libid) out += " tlbid=\"" + libid + "\"";
        out += "/>\n";
    }
    return out;
}

}  // namespace oa::reg
