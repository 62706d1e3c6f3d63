// The library's objects: api, User, ObjectList, ObjectData, Attribute, and the control
// class Emulator. Each is a dispatch object served from its description.
#pragma once

#include <emulator/emulator.h>
#include <emulator/state.h>

#include <emulator/mrlib.h>
#include <oa/dispatch.h>
#ifdef MREMU_STANDARD_DISPATCH
#include <oa/standard_dispatch.h>
#endif

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mremu {

// Private interfaces through which the library finds its own objects behind the public ones.
struct IEmulatedUser : IUnknown {};
struct IEmulatedData : IUnknown {};

}  // namespace mremu

OLEAUTO_DECLARE_IID(mremu::IEmulatedUser, 0x9E51C0A2, 0x3B7D, 0x4F1E, 0xA6, 0x0C, 0x51, 0x7E, 0x2D, 0x94, 0xC8, 0x13);
OLEAUTO_DECLARE_IID(mremu::IEmulatedData, 0x4D08B7F3, 0x6A2E, 0x49C5, 0x8F, 0x1B, 0xC2, 0x73, 0x0E, 0x5A, 0x9D, 0x64);

namespace mremu {

using namespace MRLIBLib;

const oa::disp::library_desc* type_library();

// The class objects served in front of the library's own (IEmulator::ServeClass), by
// class: 0 api, 1 User; null for the library's own.
oa::com_ptr<IClassFactory> served_class(int which);

#ifdef MREMU_STANDARD_DISPATCH
template <class Derived, class... Interfaces> using dispatch_base = oa::standard_dispatch<Derived, Interfaces...>;
#else
template <class Derived, class... Interfaces> using dispatch_base = oa::disp::dispatch_object<Derived, Interfaces...>;
#endif

// The library's objects. In the second build they answer IDispatch only, not their own
// interface, so that a client can reach them by name alone.
template <class Derived, class Dual, class... Private>
class library_object : public dispatch_base<Derived, Dual, Private...> {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** ppv) override {
        if (MRLIBLib::foreign_build && iid == iid_of<Dual>()) {
            if (ppv) *ppv = nullptr;
            return E_NOINTERFACE;
        }
        return dispatch_base<Derived, Dual, Private...>::QueryInterface(iid, ppv);
    }
};

// N texts kept one after another in one string: a staged row's fill costs one block, not
// one per text, and a table of many thousand rows stays compact.
template <std::size_t N>
class packed_texts {
public:
    explicit packed_texts(std::array<std::u16string_view, N> texts) {
        std::size_t total = 0;
        for (auto t : texts) total += t.size();
        all_.reserve(total);
        for (std::size_t i = 0; i < N; ++i) {
            all_.append(texts[i]);
            ends_[i] = all_.size();
        }
    }
    std::u16string_view at(std::size_t i) const noexcept {
        const std::size_t begin = i ? ends_[i - 1] : 0;
        return std::u16string_view(all_).substr(begin, ends_[i] - begin);
    }

private:
    std::u16string all_;
    std::array<std::size_t, N> ends_{};
};

class user_object final : public library_object<user_object, IUser, IEmulatedUser> {
public:
    static constexpr std::u16string_view class_name = u"User";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library() { return type_library(); }

    user_object();  // made by class creation: journaled as "new User"
    struct login_tag {};
    user_object(login_tag, const std::shared_ptr<server>& on, std::u16string name, std::u16string database,
                std::u16string token);

    MRLIBLIB_IUSER_OVERRIDES

    // The library's own object behind a User, or nullptr for a foreign one.
    static user_object* of(IUnknown* user) noexcept;

    // Login: the server logged in to, the name, the database and the token; none for a
    // staging row, which stays small.
    struct login_info {
        std::weak_ptr<server> to;
        std::u16string name, database, token;
    };
    std::unique_ptr<const login_info> login;
    server* logged_to() const noexcept { return login ? login->to.lock().get() : nullptr; }
    // Staging rows: what each fill operation stored, its texts in one block.
    struct user_info : packed_texts<4> {
        using packed_texts::packed_texts;
        std::u16string_view user() const noexcept { return at(0); }
        std::u16string_view password() const noexcept { return at(1); }
        std::u16string_view role() const noexcept { return at(2); }
        std::u16string_view database() const noexcept { return at(3); }
    };
    struct name_mapping : packed_texts<2> {
        using packed_texts::packed_texts;
        std::u16string_view user() const noexcept { return at(0); }
        std::u16string_view quellar_user() const noexcept { return at(1); }
    };
    struct role_info : packed_texts<3> {
        using packed_texts::packed_texts;
        std::u16string_view user() const noexcept { return at(0); }
        std::u16string_view role_list() const noexcept { return at(1); }
        std::u16string_view database() const noexcept { return at(2); }
    };
    // Each on the heap once filled: a table of many thousand rows holds one kind each, and
    // an object that keeps room for all three spreads the table over more memory.
    std::unique_ptr<user_info> info;
    std::unique_ptr<name_mapping> mapping;
    std::unique_ptr<role_info> roles;

private:
    live_counter live_{kind::user};
};

class object_data_object;

class attribute_object final : public library_object<attribute_object, IAttribute> {
public:
    static constexpr std::u16string_view class_name = u"Attribute";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library() { return type_library(); }

    attribute_object(oa::com_ptr<object_data_object> data, std::size_t slot) : data_(std::move(data)), slot_(slot) {}

    MRLIBLIB_IATTRIBUTE_OVERRIDES

private:
    oa::com_ptr<object_data_object> data_;
    std::size_t slot_;
    live_counter live_{kind::attribute};
};

// The data of one CR (from CRData) or one found object (from an ObjectList).
class object_data_object final : public library_object<object_data_object, IObjectData, IEmulatedData> {
public:
    static constexpr std::u16string_view class_name = u"ObjectData";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library() { return type_library(); }

    struct slot {
        std::u16string name;
        bool present = false;  // the CR has the attribute
        std::u16string value, sent;  // value now, and as last read from or sent to the server
        bool written = false;
    };

    object_data_object(const std::shared_ptr<server>& on, bool is_cr, std::u16string id, std::vector<slot> slots)
        : on_(on), is_cr_(is_cr), id_(std::move(id)), slots_(std::move(slots)) {}

    MRLIBLIB_IOBJECTDATA_OVERRIDES

    static object_data_object* of(IUnknown* data) noexcept;
    server* current_server() const noexcept { return on_.lock().get(); }
    std::shared_ptr<server> server_ptr() const noexcept { return on_.lock(); }
    bool is_cr() const noexcept { return is_cr_; }
    const std::u16string& id() const noexcept { return id_; }
    std::vector<slot>& slots() noexcept { return slots_; }

private:
    std::weak_ptr<server> on_;
    bool is_cr_;
    std::u16string id_;
    std::vector<slot> slots_;
    live_counter live_{kind::object_data};
};

class object_list_object final : public library_object<object_list_object, IObjectList> {
public:
    static constexpr std::u16string_view class_name = u"ObjectList";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library() { return type_library(); }

    object_list_object(const std::shared_ptr<server>& on, std::vector<object_record> found)
        : on_(on), found_(std::move(found)) {}

    MRLIBLIB_IOBJECTLIST_OVERRIDES

private:
    std::weak_ptr<server> on_;
    std::vector<object_record> found_;
    bool closed_ = false;
    live_counter live_{kind::object_list};
};

class api_object final : public library_object<api_object, Iapi> {
public:
    static constexpr std::u16string_view class_name = u"api";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library() { return type_library(); }

    api_object();  // journaled as "new api"

    MRLIBLIB_IAPI_OVERRIDES

    // Late-bound table calls: the dispatcher hands over one row, so at most one is read.
    HRESULT add_users(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message, SHORT available);
    HRESULT add_users_roles(IDispatch* user, IDispatch** firstRow, SHORT count, BSTR* message, SHORT available);

private:
    struct session {
        server& on;
        user_object& user;
        bool admin;
    };
    session logged_in(server& on, IDispatch* user);
    void login(op o, BSTR name, BSTR password, BSTR role, BSTR database, BSTR app, IUser** user);
    HRESULT change_cr(op o, IDispatch* user, IDispatch* data, BSTR* reply);

    std::weak_ptr<server> server_;
    live_counter live_{kind::api};
};

class emulator_object final : public oa::disp::dispatch_object<emulator_object, IEmulator> {
public:
    static constexpr std::u16string_view class_name = u"Emulator";
    static const oa::disp::interface_desc& description();
    static const oa::disp::library_desc* library() { return type_library(); }

    MRLIBLIB_IEMULATOR_OVERRIDES
    // InjectFault late-bound: the HRESULT as any whole number from -2^31 to 2^32-1.
    HRESULT inject_fault_late(BSTR op, const VARIANT& hresult, BSTR description, LONG times);

private:
    live_counter live_{kind::emulator};
};

}  // namespace mremu
