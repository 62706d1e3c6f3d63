// One emulated change server as data, and its fixture form (JSON).
#pragma once

#include <emulator/target.h>

#include <oleauto.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace mremu {

struct fault {
    mremu::target target;
    HRESULT hr;
    std::u16string description;
    LONG times;  // calls left to fail
};

struct user_record {
    std::u16string name, password;
    std::vector<std::u16string> roles;
};
struct group_record {
    std::u16string name;
    std::vector<std::u16string> members;
};
struct mapping_record {
    std::u16string user, quellar_user;
};
struct preference_record {
    std::u16string user, name, value;
    bool all_dbs = false;
};
struct cr_record {
    std::u16string id;
    std::vector<std::pair<std::u16string, std::u16string>> attributes;  // in fixture order
    const std::u16string* find(std::u16string_view name) const noexcept;
    void set(std::u16string_view name, std::u16string value);
};
struct object_record {
    std::u16string cvid, instance, problem;
    std::optional<std::u16string> dynamic_attrs;
    std::u16string filename;  // from CreateRCObjectFromData; written only when not empty
};
struct relation_record {
    std::u16string from, to, name, type;
};

struct server {
    std::u16string host;
    LONG port = 0;
    std::vector<std::u16string> protocols;
    std::u16string hostname;
    std::vector<std::u16string> databases;
    std::vector<user_record> users;
    std::vector<group_record> groups;
    std::vector<mapping_record> name_mappings;
    std::vector<preference_record> preferences;
    std::vector<cr_record> crs;
    std::map<std::u16string, std::vector<std::u16string>> transitions;
    std::vector<object_record> objects;
    std::vector<relation_record> relations;
    std::vector<fault> faults;

    user_record* user(std::u16string_view name) noexcept;
    group_record* group(std::u16string_view name) noexcept;
    cr_record* cr(std::u16string_view id) noexcept;
    object_record* object(std::u16string_view cvid) noexcept;
    bool has_database(std::u16string_view name) const noexcept;
    bool offers(std::u16string_view protocol) const noexcept;
    bool allows(std::u16string_view from, std::u16string_view to) const;
};

using server_set = std::vector<std::shared_ptr<server>>;

// The built-in server that answers when no fixture was loaded.
server_set default_servers();

// A fixture that could not be read; `code` is one of errors::file_missing, bad_json,
// schema_error, write_failed.
struct fixture_error {
    HRESULT code;
    std::u16string description;
};

// The largest fixture file read; larger ones are refused before they are parsed.
inline constexpr std::size_t fixture_size_limit = std::size_t{16} << 20;

// Reads a fixture file (a regular file only, at most fixture_size_limit bytes, every key
// once per object); on failure nothing but the error comes back.
std::optional<server_set> load_fixture(const std::string& path, fixture_error& error);
// Writes the servers in the fixture schema, atomically and readable by the owner only;
// false (with error) when the file cannot be written.
bool save_state(const server_set& servers, const std::string& path, fixture_error& error);

// Entities &amp; &lt; &gt; &quot; &apos; and &#N; &#xN; back to characters, in one pass.
std::u16string xml_unescape(std::u16string_view text);

}  // namespace mremu
