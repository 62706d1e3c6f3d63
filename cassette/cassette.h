// A cassette: the calls into the change-server library of one run, in order, as JSON
// Lines. The first line names the format; each further line is one call:
//   {"call":2,"on":"api#1","op":"OpenConnection","args":[["BSTR","tcp"],["BSTR","localhost"],["I4",8400]],
//    "result":["I4",1]}
// with "kind":"put" for a property put, "after" for by-reference values after the call
// (by argument number, from 1) and "failure":{"number":N,"description":"..."} in place of
// "result" when the call failed. Objects are named by handles ("api#1", "User#7"): a class
// creates one with op "new" on its ProgID ("mrlib.api"). Byte buffers are kept exactly, as
// hexadecimal; the password arguments and secret results (a login token) never: a mask
// stands in their place (mrlib/operations.h marks them).
#pragma once

#include <nlohmann/json.hpp>
#include <oleauto.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace platform {
class file_writer;
}

namespace cassette {

using json = nlohmann::ordered_json;

inline constexpr int format_version = 1;
inline constexpr std::string_view format_name = "quellar2mrapi cassette";
inline constexpr std::string_view mask = "***";

// The class of the objects an operation delivers, for their handles ("User" for appLogin;
// "object" when the table names none).
std::string_view class_delivered_by(std::string_view op) noexcept;

// Whether argument index (from 0) of op is a password; whether op's result is a secret.
// op is the member name as the caller spelled it.
bool is_password(std::string_view op, std::size_t index) noexcept;
bool is_secret_result(std::string_view op) noexcept;

// An object as the cassette names it: a handle, or null for none.
using object_namer = std::function<json(IDispatch*)>;

// The length of the block that argument index (from 0, in the caller's order) of op points
// to: the number in the argument that the operation table names, as the library reads
// it; 0 for an argument that is no block, never less than 0.
long block_length(std::string_view op, const DISPPARAMS& params, std::size_t index) noexcept;

// The arguments of an Invoke in the caller's order (DISPPARAMS holds them reversed). A
// by-reference block takes its length from the argument the table names, as the library does.
json arguments(std::string_view op, const DISPPARAMS& params, const object_namer& name);
// A value delivered or left behind a by-reference argument.
json value(const VARIANT& v, const object_namer& name);
// The result of op: its value, a non-empty secret text masked.
json result(std::string_view op, const VARIANT& v, const object_namer& name);
// The by-reference values after a call, by argument number: {"3":["I2&",1]}.
json after(const DISPPARAMS& params, const object_namer& name);

// How a value shows in a message: texts quoted, the rest as JSON.
std::string shown(const json& value);

// Writes the lines with the state file's rules: readable by its owner only, one write per
// line, the file in place once finished.
class writer {
public:
    explicit writer(const std::string& path);  // throws platform::file_error
    ~writer();
    // Appends one call, numbered in order.
    void call(json line);
    // The next call's number.
    long next() const noexcept { return calls_ + 1; }
    // Throws platform::file_error when a line could not be written.
    void finish();

private:
    std::unique_ptr<platform::file_writer> file_;
    long calls_ = 0;
};

// A cassette read whole and checked: every line JSON, the format named, every handle made
// before it is used. Throws std::runtime_error naming the line.
struct recorded {
    std::vector<json> calls;  // in order; calls[i]["call"] == i + 1
};
recorded read(const std::string& path);

}  // namespace cassette
