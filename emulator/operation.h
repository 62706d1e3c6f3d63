// What the library's operations share: the opening that every one of them starts with,
// and the small helpers of their texts and results.
#pragma once

#include <emulator/state.h>

#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace mremu {

using oa::view;

// What an operation checks in its opening beyond the fault: an api operation needs the
// api's connection.
enum class needs : bool { nothing, connection };

// The fill of a call journaled without arguments.
inline constexpr auto no_arguments = [](journal_line&) {};

// The opening of every operation, in the order that journal readers and fault tests rely
// on: the library's lock, held while the opening lives; the journal line (fill adds the
// arguments; it runs only while a journal is open or calls are traced); a fault aimed at
// the call, injected or of the call's server; then the api's connection when the
// operation needs it (not_connected). `to` names the call's server and is read under the
// lock: a std::weak_ptr<server>, a function that answers a std::shared_ptr<server>, or
// nullptr for none.
class opening {
public:
    template <class To, class Fill>
    opening(target t, const To& to, const Fill& fill, needs what = needs::nothing) : lock_(state().lock()) {
        state().record(t, fill);
        if constexpr (std::is_invocable_v<const To&>) server_ = to();
        else if constexpr (!std::is_null_pointer_v<To>) server_ = to.lock();
        state().apply_faults(t, server_.get());
        if (what == needs::connection && !server_) not_connected();
    }
    opening(const opening&) = delete;
    opening& operator=(const opening&) = delete;

    // The call's server, or nullptr; held alive while the opening lives, so that a call
    // back into the library that replaces the servers leaves it whole.
    const std::shared_ptr<server>& on() const noexcept { return server_; }
    // The server of an operation that needs the connection.
    server& connected() const noexcept { return *server_; }

private:
    [[noreturn]] static void not_connected();
    std::unique_lock<std::recursive_mutex> lock_;
    std::shared_ptr<server> server_;
};

std::u16string str(BSTR b);
std::u16string num(long long n);
// A new BSTR with the text, handed to the caller.
void put_text(BSTR* out, std::u16string_view text);
bool contains(const std::vector<std::u16string>& list, std::u16string_view item);
// The non-empty pieces of text between any of the separators.
std::vector<std::u16string> split(std::u16string_view text, std::u16string_view separators);

template <class Text>
std::u16string joined(const std::vector<Text>& items, std::u16string_view separator = u", ") {
    std::u16string out;
    for (const auto& i : items) {
        if (!out.empty()) out += separator;
        out += i;
    }
    return out;
}

// An object made for the caller, with the reference that the caller takes over.
template <class T> auto* handed_out(oa::com_ptr<T> p) { return p.detach(); }

}  // namespace mremu
