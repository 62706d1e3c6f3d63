#include <emulator/emulator.h>
#include <emulator/server.h>

#include <oa/text.h>
#include <platform/files.h>

#include <nlohmann/json.hpp>

#include <array>
#include <cstring>
#include <set>

namespace mremu {

namespace {


template <class Records, class Key> auto* find_by(Records& records, Key key, std::u16string_view name) noexcept {
    for (auto& r : records)
        if (r.*key == name) return &r;
    return static_cast<typename Records::value_type*>(nullptr);
}

std::u16string u16(std::string_view s) { return oa::utf8_to_utf16(s).value_or(std::u16string()); }
std::string u8(std::u16string_view s) { return oa::utf16_to_utf8(s); }

// ------------------------------------------------------------------------------------
// Reading: every check names the key it failed on.
using json = nlohmann::ordered_json;

struct schema_fault {
    std::string where, what;
};

class reader {
public:
    reader(const json& value, std::string where) : v_(value), where_(std::move(where)) {}

    [[noreturn]] void fail(const std::string& what) const { throw schema_fault{where_, what}; }
    const json& value() const noexcept { return v_; }
    const std::string& where() const noexcept { return where_; }

    bool has(const char* key) const { return v_.contains(key); }
    reader at(const char* key) const {
        if (!v_.contains(key)) fail(std::string("the key \"") + key + "\" is missing");
        return reader(v_.at(key), where_ + "." + key);
    }
    reader at(std::size_t i) const { return reader(v_.at(i), where_ + "[" + std::to_string(i) + "]"); }

    void need_object() const {
        if (!v_.is_object()) fail("expected an object");
    }
    std::size_t array_size() const {
        if (!v_.is_array()) fail("expected an array");
        return v_.size();
    }
    std::u16string text() const {
        if (!v_.is_string()) fail("expected a string");
        return u16(v_.get<std::string>());
    }
    long long integer() const {
        if (!v_.is_number_integer()) fail("expected an integer");
        return v_.get<long long>();
    }
    bool boolean() const {
        if (!v_.is_boolean()) fail("expected true or false");
        return v_.get<bool>();
    }
    std::vector<std::u16string> texts() const {
        std::vector<std::u16string> out;
        for (std::size_t i = 0, n = array_size(); i < n; ++i) out.push_back(at(i).text());
        return out;
    }
    std::u16string text_or(const char* key, std::u16string fallback) const {
        return has(key) ? at(key).text() : fallback;
    }
    template <class Each> void each(const char* key, Each&& each_item) const {
        if (!has(key)) return;
        reader list = at(key);
        for (std::size_t i = 0, n = list.array_size(); i < n; ++i) {
            reader item = list.at(i);
            each_item(item);
        }
    }

private:
    const json& v_;
    std::string where_;
};

// Names that must be unique within one list.
class unique_names {
public:
    void add(const reader& at, const std::u16string& name, const char* what) {
        if (!seen_.insert(name).second) at.fail(std::string("duplicate ") + what + " \"" + u8(name) + "\"");
    }

private:
    std::set<std::u16string> seen_;
};

std::shared_ptr<server> read_server(const reader& r) {
    r.need_object();
    auto s = std::make_shared<server>();
    s->host = r.at("host").text();
    const long long port = r.at("port").integer();
    if (port < 0 || port > 65535) r.at("port").fail("expected a port number from 0 to 65535");
    s->port = static_cast<LONG>(port);
    s->protocols = r.at("protocols").texts();
    s->hostname = r.text_or("hostname", s->host);
    if (r.has("databases")) s->databases = r.at("databases").texts();

    unique_names users, groups, crs, objects;
    r.each("users", [&](const reader& u) {
        u.need_object();
        user_record rec{u.at("name").text(), u.text_or("password", u""), {}};
        if (u.has("roles")) rec.roles = u.at("roles").texts();
        users.add(u.at("name"), rec.name, "user");
        s->users.push_back(std::move(rec));
    });
    r.each("groups", [&](const reader& g) {
        g.need_object();
        group_record rec{g.at("name").text(), {}};
        if (g.has("members")) rec.members = g.at("members").texts();
        groups.add(g.at("name"), rec.name, "group");
        s->groups.push_back(std::move(rec));
    });
    r.each("name_mappings", [&](const reader& m) {
        m.need_object();
        s->name_mappings.push_back({m.at("user").text(), m.at("quellar_user").text()});
    });
    r.each("preferences", [&](const reader& p) {
        p.need_object();
        s->preferences.push_back({p.at("user").text(), p.at("name").text(), p.at("value").text(),
                                  p.has("all_dbs") ? p.at("all_dbs").boolean() : false});
    });
    r.each("crs", [&](const reader& c) {
        c.need_object();
        cr_record rec{c.at("id").text(), {}};
        if (c.has("attributes")) {
            reader attrs = c.at("attributes");
            attrs.need_object();
            for (const auto& [key, value] : attrs.value().items())
                rec.attributes.emplace_back(u16(key), reader(value, attrs.where() + "." + key).text());
        }
        crs.add(c.at("id"), rec.id, "CR id");
        s->crs.push_back(std::move(rec));
    });
    if (r.has("transitions")) {
        reader t = r.at("transitions");
        t.need_object();
        for (const auto& [from, targets] : t.value().items())
            s->transitions[u16(from)] = reader(targets, t.where() + "." + from).texts();
    }
    r.each("objects", [&](const reader& o) {
        o.need_object();
        object_record rec{o.at("cvid").text(), o.text_or("instance", u""), o.text_or("problem", u""), {}, {}};
        if (o.has("dynamic_attrs")) rec.dynamic_attrs = o.at("dynamic_attrs").text();
        rec.filename = o.text_or("filename", u"");
        objects.add(o.at("cvid"), rec.cvid, "object cvid");
        s->objects.push_back(std::move(rec));
    });
    r.each("relations", [&](const reader& l) {
        l.need_object();
        s->relations.push_back(
            {l.at("from").text(), l.at("to").text(), l.at("name").text(), l.text_or("type", u"normal")});
    });
    r.each("faults", [&](const reader& f) {
        f.need_object();
        const std::string name = u8(f.at("op").text());
        const std::optional<target> aimed = target::named(name);
        if (!aimed) f.at("op").fail("unknown operation \"" + name + "\"");
        const long long hr = f.at("hresult").integer();
        if (hr >= 0 || hr < INT32_MIN) f.at("hresult").fail("expected a failure HRESULT (a negative 32-bit number)");
        const long long times = f.has("times") ? f.at("times").integer() : 1;
        if (times < 1 || times > INT32_MAX) f.at("times").fail("expected a count of at least 1");
        s->faults.push_back({*aimed, static_cast<HRESULT>(hr), f.text_or("description", u""),
                             static_cast<LONG>(times)});
    });
    return s;
}

server_set read_servers(const json& doc) {
    reader root(doc, "");
    root.need_object();
    reader list = root.at("servers");
    server_set out;
    std::set<std::pair<std::u16string, LONG>> places;
    for (std::size_t i = 0, n = list.array_size(); i < n; ++i) {
        reader item = list.at(i);
        auto s = read_server(item);
        if (!places.insert({oa::ascii_lowered(s->host), s->port}).second) item.fail("a second server at the same host and port");
        out.push_back(std::move(s));
    }
    return out;
}

// ------------------------------------------------------------------------------------
// Writing
json texts_json(const std::vector<std::u16string>& texts) {
    json a = json::array();
    for (const auto& t : texts) a.push_back(u8(t));
    return a;
}

json server_json(const server& s) {
    json j;
    j["host"] = u8(s.host);
    j["port"] = s.port;
    j["protocols"] = texts_json(s.protocols);
    j["hostname"] = u8(s.hostname);
    j["databases"] = texts_json(s.databases);
    j["users"] = json::array();
    for (const auto& u : s.users)
        j["users"].push_back({{"name", u8(u.name)}, {"password", u8(u.password)}, {"roles", texts_json(u.roles)}});
    j["groups"] = json::array();
    for (const auto& g : s.groups) j["groups"].push_back({{"name", u8(g.name)}, {"members", texts_json(g.members)}});
    j["name_mappings"] = json::array();
    for (const auto& m : s.name_mappings)
        j["name_mappings"].push_back({{"user", u8(m.user)}, {"quellar_user", u8(m.quellar_user)}});
    j["preferences"] = json::array();
    for (const auto& p : s.preferences)
        j["preferences"].push_back(
            {{"user", u8(p.user)}, {"name", u8(p.name)}, {"value", u8(p.value)}, {"all_dbs", p.all_dbs}});
    j["crs"] = json::array();
    for (const auto& c : s.crs) {
        json attrs = json::object();
        for (const auto& [k, v] : c.attributes) attrs[u8(k)] = u8(v);
        j["crs"].push_back({{"id", u8(c.id)}, {"attributes", std::move(attrs)}});
    }
    j["transitions"] = json::object();
    for (const auto& [from, to] : s.transitions) j["transitions"][u8(from)] = texts_json(to);
    j["objects"] = json::array();
    for (const auto& o : s.objects) {
        json obj{{"cvid", u8(o.cvid)}, {"instance", u8(o.instance)}, {"problem", u8(o.problem)}};
        if (o.dynamic_attrs) obj["dynamic_attrs"] = u8(*o.dynamic_attrs);
        if (!o.filename.empty()) obj["filename"] = u8(o.filename);
        j["objects"].push_back(std::move(obj));
    }
    j["relations"] = json::array();
    for (const auto& r : s.relations)
        j["relations"].push_back({{"from", u8(r.from)}, {"to", u8(r.to)}, {"name", u8(r.name)}, {"type", u8(r.type)}});
    j["faults"] = json::array();
    for (const auto& f : s.faults)
        j["faults"].push_back({{"op", std::string(f.target.name())},
                               {"hresult", f.hr},
                               {"description", u8(f.description)},
                               {"times", f.times}});
    return j;
}

std::u16string quoted(const std::string& path) { return u"\"" + u16(path) + u"\""; }

}  // namespace

// ------------------------------------------------------------------------------------
const std::u16string* cr_record::find(std::u16string_view name) const noexcept {
    for (const auto& [k, v] : attributes)
        if (k == name) return &v;
    return nullptr;
}

void cr_record::set(std::u16string_view name, std::u16string value) {
    for (auto& [k, v] : attributes)
        if (k == name) {
            v = std::move(value);
            return;
        }
    attributes.emplace_back(std::u16string(name), std::move(value));
}

user_record* server::user(std::u16string_view name) noexcept { return find_by(users, &user_record::name, name); }
group_record* server::group(std::u16string_view name) noexcept { return find_by(groups, &group_record::name, name); }
cr_record* server::cr(std::u16string_view id) noexcept { return find_by(crs, &cr_record::id, id); }
object_record* server::object(std::u16string_view cvid) noexcept {
    return find_by(objects, &object_record::cvid, cvid);
}

bool server::has_database(std::u16string_view name) const noexcept {
    for (const auto& d : databases)
        if (d == name) return true;
    return false;
}

bool server::offers(std::u16string_view protocol) const noexcept {
    for (const auto& p : protocols)
        if (oa::same_ascii_case(p, protocol)) return true;
    return false;
}

bool server::allows(std::u16string_view from, std::u16string_view to) const {
    auto it = transitions.find(std::u16string(from));
    if (it == transitions.end()) return false;
    for (const auto& t : it->second)
        if (t == to) return true;
    return false;
}

server_set default_servers() {
    auto s = std::make_shared<server>();
    s->host = u"localhost";
    s->port = 8400;
    s->protocols = {u"tcp"};
    s->hostname = u"cm0.emulated.test";
    s->databases = {u"/db/main"};
    s->users = {{u"admin", u"admin", {u"Admin", u"developer"}}, {u"dev", u"dev", {u"developer"}}};
    s->groups = {{u"administrators", {u"admin"}}};
    auto cr = [](std::u16string id, std::u16string status, std::u16string synopsis) {
        return cr_record{id, {{u"crstatus", status}, {u"problem_number", id}, {u"problem_synopsis", synopsis}}};
    };
    s->crs = {cr(u"1", u"entered", u"Window does not open"), cr(u"2", u"assigned", u"Report prints twice"),
              cr(u"3", u"resolved", u"Typo in the help text")};
    s->transitions = {{u"entered", {u"assigned", u"rejected"}},
                      {u"assigned", {u"resolved", u"entered"}},
                      {u"resolved", {u"closed", u"assigned"}}};
    s->objects = {{u"1001", u"/db/main", u"1", u"<attrs owner=\"admin\"/>", {}},
                  {u"1002", u"/db/main", u"1", u"<attrs owner=\"dev\" reviewed=\"no\"/>", {}},
                  {u"1003", u"/db/main", u"2", std::nullopt, {}}};
    s->relations = {{u"1", u"1001", u"associated_cv", u"normal"}};
    return {s};
}

namespace {

// Where the parser is in the document, for naming a key that appears twice in one object.
class key_path {
public:
    // Called for every parse event; throws schema_fault at a repeated key.
    void on(json::parse_event_t event, const json& parsed) {
        using e = json::parse_event_t;
        switch (event) {
        case e::object_start:
        case e::array_start:
            next_element();
            frames_.push_back({event == e::object_start, {}, {}, -1});
            break;
        case e::object_end:
        case e::array_end: frames_.pop_back(); break;
        case e::key: {
            frame& f = frames_.back();
            f.key = parsed.get<std::string>();
            if (!f.keys.insert(f.key).second) throw schema_fault{where(), "the key \"" + f.key + "\" appears twice"};
            break;
        }
        case e::value: next_element(); break;
        }
    }

private:
    struct frame {
        bool object;
        std::set<std::string> keys;
        std::string key;
        long index;
    };
    void next_element() {
        if (!frames_.empty() && !frames_.back().object) ++frames_.back().index;
    }
    std::string where() const {
        std::string out;
        for (const frame& f : frames_) {
            if (f.object) {
                out += '.';
                out += f.key;
            } else {
                out += '[';
                out += std::to_string(f.index);
                out += ']';
            }
        }
        return out;
    }
    std::vector<frame> frames_;
};

}  // namespace

std::optional<server_set> load_fixture(const std::string& path, fixture_error& error) {
    std::string text;
    try {
        text = platform::read_regular_file(path, fixture_size_limit);
    } catch (const platform::file_error& e) {
        std::u16string why = platform::decode_system_text(e.detail());
        if (e.fault() == platform::file_fault::too_large)
            why = u"larger than the limit of " + u16(std::to_string(fixture_size_limit >> 20)) + u" MiB";
        error = {errors::file_missing, u"Cannot read the fixture file " + quoted(path) + u": " + why};
        return std::nullopt;
    }
    try {
        json doc;
        try {
            key_path keys;
            doc = json::parse(text, [&keys](int, json::parse_event_t event, json& parsed) {
                keys.on(event, parsed);
                return true;
            });
        } catch (const json::exception& e) {
            error = {errors::bad_json, u"The fixture file " + quoted(path) + u" is not valid JSON: " + u16(e.what())};
            return std::nullopt;
        }
        return read_servers(doc);
    } catch (const schema_fault& f) {
        const std::string where = f.where.empty() ? "the document" : f.where.substr(f.where[0] == '.' ? 1 : 0);
        error = {errors::schema_error,
                 u"The fixture file " + quoted(path) + u" does not fit the schema: " + u16(where) + u": " + u16(f.what)};
        return std::nullopt;
    }
}

bool save_state(const server_set& servers, const std::string& path, fixture_error& error) {
    json doc;
    doc["servers"] = json::array();
    for (const auto& s : servers) doc["servers"].push_back(server_json(*s));
    try {
        // The state holds the users' passwords: readable by its owner only, and never half written.
        platform::file_writer file(path, platform::file_writer::mode::replace_private);
        file.write(doc.dump(2) + "\n");
        file.finish();  // fails for a failed write too
    } catch (const platform::file_error& e) {
        error = {errors::write_failed,
                 u"Cannot write the state file " + quoted(path) + u": " + platform::decode_system_text(e.detail())};
        return false;
    }
    return true;
}

std::u16string xml_unescape(std::u16string_view text) {
    static constexpr std::pair<std::u16string_view, char16_t> named[] = {
        {u"amp", u'&'}, {u"lt", u'<'}, {u"gt", u'>'}, {u"quot", u'"'}, {u"apos", u'\''}};
    std::u16string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != u'&') {
            out.push_back(text[i]);
            continue;
        }
        const std::size_t semi = text.find(u';', i + 1);
        if (semi == std::u16string_view::npos || semi - i > 12) {
            out.push_back(text[i]);
            continue;
        }
        const std::u16string_view name = text.substr(i + 1, semi - i - 1);
        bool done = false;
        for (const auto& [entity, c] : named)
            if (name == entity) {
                out.push_back(c);
                done = true;
            }
        if (!done && name.size() > 1 && name[0] == u'#') {
            const bool hex = name[1] == u'x' || name[1] == u'X';
            char32_t cp = 0;
            bool ok = name.size() > (hex ? 2u : 1u);
            for (std::size_t k = hex ? 2 : 1; ok && k < name.size(); ++k) {
                const char16_t c = name[k];
                int digit = c >= u'0' && c <= u'9'                 ? c - u'0'
                            : hex && c >= u'a' && c <= u'f'        ? c - u'a' + 10
                            : hex && c >= u'A' && c <= u'F'        ? c - u'A' + 10
                                                                   : -1;
                ok = digit >= 0 && cp <= 0x10FFFF;
                cp = cp * (hex ? 16 : 10) + static_cast<char32_t>(digit);
            }
            if (ok && cp > 0 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                oa::append_code_point(out, cp);
                done = true;
            }
        }
        if (done) i = semi;
        else out.push_back(text[i]);
    }
    return out;
}

}  // namespace mremu
