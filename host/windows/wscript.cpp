#include <host/windows/console.h>
#include <host/windows/wscript.h>

#include <oa/error.h>
#include <oa/late_bound.h>
#include <oa/text.h>

#include <memory>
#include <utility>

namespace q2mrhost::windows {

namespace {

using namespace oa::disp;

constexpr WORD host_type_flags = TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE | TYPEFLAG_FOLEAUTOMATION | TYPEFLAG_FDISPATCHABLE;
constexpr int device_io_error = 57;
constexpr int cannot_create_object = 429;

// A value as the stock host shows it: Null as "null", a left-out one as nothing, an
// object by its default member, anything else as its text.
std::u16string text_of(const VARIANT& given) {
    const VARIANT& v = given.vt == (VT_BYREF | VT_VARIANT) && given.pvarVal ? *given.pvarVal : given;
    if (v.vt == VT_NULL) return u"null";
    if (v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND) return {};
    oa::unique_variant text;
    oa::check(oa::change_type(&text, &v, 0, VT_BSTR));
    return std::u16string(oa::view(text.bstrVal));
}

// Whether WScript.Quit was called: then every member fails as Quit did, so that a script
// whose engine cannot be stopped (it caught Quit's failure) writes and creates nothing more.
using quit_flag = std::shared_ptr<bool>;
void still_running(const quit_flag& quit) {
    if (*quit) oa::raise(quit_requested, u"The script quit");
}

void write_or_raise(standard to, std::u16string_view text) {
    if (!write_text(to, text)) oa::raise(oa::vb_hresult(device_io_error), u"Device I/O error");
}

class text_stream final : public dispatch_object<text_stream, IHostTextStream> {
public:
    static constexpr std::u16string_view class_name = u"TextStream";
    static const interface_desc& description() {
        using I = IHostTextStream;
        static const interface_desc desc{u"IHostTextStream",
                                         iid_of<I>(),
                                         host_type_flags,
                                         {
                                             sub<&I::Write>(1, u"Write", u"String text"),
                                             sub<&I::WriteLine>(2, u"WriteLine", u"Optional Variant text"),
                                         }};
        return desc;
    }
    static const library_desc* library() { return nullptr; }

    text_stream(standard to, quit_flag quit) : to_(to), quit_(std::move(quit)) {}

    HRESULT STDMETHODCALLTYPE Write(BSTR text) override {
        return call([&] {
            still_running(quit_);
            write_or_raise(to_, oa::view(text));
        });
    }
    HRESULT STDMETHODCALLTYPE WriteLine(VARIANT* text) override {
        return call([&] {
            still_running(quit_);
            write_or_raise(to_, text_of(*text) + u"\n");
        }, text);
    }

private:
    standard to_;
    quit_flag quit_;
};

class arguments_object final : public dispatch_object<arguments_object, IHostArguments> {
public:
    static constexpr std::u16string_view class_name = u"Arguments";
    static const interface_desc& description() {
        using I = IHostArguments;
        static const interface_desc desc{u"IHostArguments",
                                         iid_of<I>(),
                                         host_type_flags,
                                         {
                                             method<&I::Item>(DISPID_VALUE, u"Item", u"Long index", u"String"),
                                             method<&I::Count>(1, u"Count", u"", u"Long"),
                                             get<&I::get_length>(2, u"length", u"Long"),
                                         }};
        return desc;
    }
    static const library_desc* library() { return nullptr; }

    explicit arguments_object(std::vector<std::u16string> values) : values_(std::move(values)) {}

    HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* value) override {
        return call_result(value, [&] {
            if (index < 0 || static_cast<std::size_t>(index) >= values_.size()) oa::raise_vb(oa::vb::subscript_out_of_range);
            *value = oa::make_bstr(values_[static_cast<std::size_t>(index)]).release();
        });
    }
    HRESULT STDMETHODCALLTYPE Count(LONG* count) override {
        return call_result(count, [&] { *count = static_cast<LONG>(values_.size()); });
    }
    HRESULT STDMETHODCALLTYPE get_length(LONG* count) override { return Count(count); }

private:
    std::vector<std::u16string> values_;
};

class wscript_object final : public dispatch_object<wscript_object, IHostScript> {
public:
    static constexpr std::u16string_view class_name = u"WScript";
    static const interface_desc& description() {
        using I = IHostScript;
        static const interface_desc desc{
            u"IHostScript",
            iid_of<I>(),
            host_type_flags,
            {
                sub<&I::Echo>(1, u"Echo", u"ParamArray Variant() values"),
                sub<&I::Quit>(2, u"Quit", u"Optional Variant exitCode"),
                indexed_get<&I::get_Arguments>(3, u"Arguments", u"IHostArguments"),
                get<&I::get_ScriptName>(4, u"ScriptName", u"String"),
                get<&I::get_ScriptFullName>(5, u"ScriptFullName", u"String"),
                get<&I::get_StdOut>(6, u"StdOut", u"IHostTextStream"),
                get<&I::get_StdErr>(7, u"StdErr", u"IHostTextStream"),
                method<&I::CreateObject>(8, u"CreateObject", u"String progID", u"Object"),
                sub<&I::Sleep>(9, u"Sleep", u"Long milliseconds"),
            }};
        return desc;
    }
    static const library_desc* library() { return nullptr; }

    explicit wscript_object(script_facts facts)
        : facts_(std::move(facts)),
          arguments_(oa::make_self<arguments_object>(facts_.arguments)),
          out_(oa::make_self<text_stream>(standard::output, quit_)),
          err_(oa::make_self<text_stream>(standard::error, quit_)) {}

    HRESULT STDMETHODCALLTYPE Echo(SAFEARRAY** values) override {
        return call([&] {
            still_running(quit_);
            std::u16string line;
            const auto* items = static_cast<const VARIANT*>((*values)->pvData);
            for (ULONG i = 0; i < (*values)->rgsabound[0].cElements; ++i) line += (i ? u" " : u"") + text_of(items[i]);
            write_or_raise(standard::output, line + u"\n");
        }, values, *values);
    }
    HRESULT STDMETHODCALLTYPE Quit(VARIANT* code) override {
        return call([&] {
            still_running(quit_);
            int exit_code = 0;
            if (!(code->vt == VT_ERROR && code->scode == DISP_E_PARAMNOTFOUND)) {
                oa::unique_variant number;
                oa::check(oa::change_type(&number, code, 0, VT_I4));
                exit_code = number.lVal;
            }
            *quit_ = true;
            facts_.quit(exit_code);
            oa::raise(quit_requested, u"The script quit");
        }, code);
    }
    HRESULT STDMETHODCALLTYPE get_Arguments(IHostArguments** arguments) override {
        return call_result(arguments, [&] { oa::com_ptr<IHostArguments>(arguments_).copy_to(arguments); });
    }
    HRESULT STDMETHODCALLTYPE get_ScriptName(BSTR* name) override {
        return call_result(name, [&] { *name = oa::make_bstr(facts_.name).release(); });
    }
    HRESULT STDMETHODCALLTYPE get_ScriptFullName(BSTR* path) override {
        return call_result(path, [&] { *path = oa::make_bstr(facts_.full_name).release(); });
    }
    HRESULT STDMETHODCALLTYPE get_StdOut(IHostTextStream** stream) override {
        return call_result(stream, [&] { oa::com_ptr<IHostTextStream>(out_).copy_to(stream); });
    }
    HRESULT STDMETHODCALLTYPE get_StdErr(IHostTextStream** stream) override {
        return call_result(stream, [&] { oa::com_ptr<IHostTextStream>(err_).copy_to(stream); });
    }
    HRESULT STDMETHODCALLTYPE CreateObject(BSTR progid, IDispatch** object) override {
        return call_result(object, [&] {
            still_running(quit_);
            CLSID clsid{};
            HRESULT hr = CLSIDFromProgID(progid ? progid : L"", &clsid);
            if (SUCCEEDED(hr)) hr = CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch, reinterpret_cast<void**>(object));
            if (FAILED(hr))
                oa::raise(oa::vb_hresult(cannot_create_object),
                          unreachable(oa::view(progid))
                              .value_or(u"Cannot create the object \"" + std::u16string(oa::view(progid)) + u"\""));
        });
    }
    HRESULT STDMETHODCALLTYPE Sleep(LONG milliseconds) override {
        return call([&] {
            still_running(quit_);
            if (milliseconds < 0) oa::raise_vb(oa::vb::invalid_call);
            ::Sleep(static_cast<DWORD>(milliseconds));
        });
    }

private:
    quit_flag quit_ = std::make_shared<bool>(false);
    script_facts facts_;
    oa::com_ptr<arguments_object> arguments_;
    oa::com_ptr<text_stream> out_, err_;
};

}  // namespace

std::optional<std::u16string> unreachable(std::u16string_view progid) {
    try {
        oa::late::class_object_of(progid);
    } catch (const oa::late::unreachable_class& e) {
        return e.description();
    } catch (...) {
    }
    return std::nullopt;
}

oa::com_ptr<IHostScript> make_wscript(script_facts facts) {
    return oa::com_ptr<IHostScript>(oa::make_self<wscript_object>(std::move(facts)));
}

}  // namespace q2mrhost::windows
