#include <host/windows/console.h>
#include <host/windows/engine.h>

#include <oa/ascii.h>
#include <oa/error.h>
#include <oa/implements.h>
#include <oa/late_bound.h>
#include <oa/text.h>

#include <cstdio>
#include <optional>
#include <string_view>
#include <utility>

namespace q2mrhost::windows {

namespace {

// A failure's words when the engine gave none: the standard run-time text, else its code.
std::u16string description_of(HRESULT code) {
    if (const LONG n = oa::failure_number(code); n != code && oa::vb_description(n) != oa::vb_description(0))
        return std::u16string(oa::vb_description(n));
    char text[32];
    std::snprintf(text, sizeof text, "failure 0x%08lX", static_cast<unsigned long>(code));
    return oa::ascii_to_utf16(text);
}

// Line n (from 0) of a script's text.
std::u16string_view line_of(std::u16string_view text, ULONG n) {
    for (; n > 0; --n) {
        const auto end = text.find(u'\n');
        if (end == std::u16string_view::npos) return {};
        text.remove_prefix(end + 1);
    }
    return text.substr(0, text.find(u'\n'));
}

// The engines' own CreateObject (VBScript's, JScript's new ActiveXObject) fails with 429
// whatever the reason: when the failing line creates a class by a quoted ProgID that is out
// of this program's reach, the runtime's description says why, as the Lua host's does.
std::optional<std::u16string> unreachable_on(std::u16string_view line) {
    const std::u16string lower = oa::ascii_lowered(std::u16string(line));
    for (const std::u16string_view call : {u"createobject", u"activexobject"}) {
        for (auto at = lower.find(call); at != std::u16string::npos; at = lower.find(call, at + 1)) {
            auto i = at + call.size();
            const auto blanks = [&] {
                while (i < lower.size() && (lower[i] == u' ' || lower[i] == u'\t')) ++i;
            };
            blanks();
            if (i >= lower.size() || lower[i] != u'(') continue;
            ++i;
            blanks();
            if (i >= lower.size() || (lower[i] != u'"' && lower[i] != u'\'')) continue;
            const auto end = line.find(line[i], i + 1);
            if (end == std::u16string_view::npos) continue;
            if (auto why = unreachable(line.substr(i + 1, end - i - 1))) return why;
        }
    }
    return std::nullopt;
}

// The host's side of the engine: it hands out WScript and reports the script's failures.
class script_site final : public oa::implements<script_site, IActiveScriptSite> {
public:
    static constexpr std::u16string_view class_name = u"ScriptSite";

    script_site(oa::com_ptr<IHostScript> wscript, std::string script_path, std::u16string_view text,
                const bool& quitting)
        : wscript_(std::move(wscript)), script_path_(std::move(script_path)), text_(text), quitting_(quitting) {}

    bool failed() const noexcept { return failed_; }
    // After the engine closed: the site no longer hands out WScript.
    void forget() noexcept { wscript_ = nullptr; }

    HRESULT STDMETHODCALLTYPE GetLCID(LCID*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetItemInfo(LPCOLESTR name, DWORD mask, IUnknown** item, ITypeInfo** type) override {
        if (item) *item = nullptr;
        if (type) *type = nullptr;
        if (!name || !wscript_ || !oa::disp::same_name(oa::view_z(name), u"WScript")) return TYPE_E_ELEMENTNOTFOUND;
        if ((mask & SCRIPTINFO_IUNKNOWN) && !item) return E_POINTER;
        if ((mask & SCRIPTINFO_ITYPEINFO) && !type) return E_POINTER;
        if (mask & SCRIPTINFO_ITYPEINFO)
            if (HRESULT hr = wscript_->GetTypeInfo(0, 0, type); FAILED(hr)) return hr;
        if (mask & SCRIPTINFO_IUNKNOWN) wscript_->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(item));
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetDocVersionString(BSTR* version) override {
        if (version) *version = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnScriptTerminate(const VARIANT*, const EXCEPINFO*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnStateChange(SCRIPTSTATE) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnEnterScript() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnLeaveScript() override { return S_OK; }

    HRESULT STDMETHODCALLTYPE OnScriptError(IActiveScriptError* error) override {
        if (!error) return E_POINTER;
        oa::unique_excepinfo info;
        if (FAILED(error->GetExceptionInfo(&info))) info = oa::unique_excepinfo();
        const oa::com_error failure = oa::late::failure_in(info);
        const HRESULT code = failure.code();
        if (quitting_ || code == quit_requested) return S_OK;  // WScript.Quit leaving the script
        failed_ = true;
        DWORD context = 0;
        ULONG line = 0;
        LONG column = 0;
        const bool placed = SUCCEEDED(error->GetSourcePosition(&context, &line, &column));
        std::u16string description = failure.description();
        if (description.empty()) description = description_of(code);
        if (placed && oa::failure_number(code) == oa::vb::cannot_create_object)
            if (auto why = unreachable_on(line_of(text_, line))) description = std::move(*why);
        std::string message = script_path_ + (placed ? ":" + std::to_string(line + 1ul) : std::string()) + ": " +
                              std::to_string(oa::failure_number(code)) + ": " + oa::utf16_to_utf8(description) + "\n";
        write_bytes(standard::error, message);
        return S_OK;
    }

private:
    oa::com_ptr<IHostScript> wscript_;
    std::string script_path_;
    std::u16string_view text_;
    const bool& quitting_;
    bool failed_ = false;
};

}  // namespace

const char16_t* language_of(std::string_view script_path) noexcept {
    const auto dot = script_path.rfind('.');
    if (dot == std::string_view::npos || script_path.find_first_of("/\\", dot) != std::string_view::npos) return nullptr;
    const std::string extension = oa::ascii_lowered(std::string(script_path.substr(dot + 1)));
    if (extension == "vbs") return u"VBScript";
    if (extension == "js") return u"JScript";
    return nullptr;
}

oa::com_ptr<IActiveScript> make_engine(const char16_t* language, std::string& why) {
    CLSID engine_class{};
    oa::com_ptr<IActiveScript> engine;
    HRESULT hr = CLSIDFromProgID(oa::ole(language), &engine_class);
    if (SUCCEEDED(hr))
        hr = CoCreateInstance(engine_class, nullptr, CLSCTX_INPROC_SERVER, iid_of<IActiveScript>(), engine.put_void());
    if (FAILED(hr)) why = "the " + oa::utf16_to_utf8(language) + " engine is not available: " + describe(hr);
    return engine;
}

script_result run_script(oa::com_ptr<IActiveScript> engine, const std::string& script_path, const std::u16string& text,
                         script_facts facts) {
    bool quitting = false;
    int quit_code = 0;
    IActiveScript* running = engine.get();
    facts.quit = [&quitting, &quit_code, running](int code) {
        quitting = true;
        quit_code = code;
        // Engines that offer it stop the script at once; the others (Wine's) unwind it by
        // the failure that Quit raises.
        running->InterruptScriptThread(SCRIPTTHREADID_CURRENT, nullptr, 0);
    };
    oa::com_ptr<script_site> site = oa::make_self<script_site>(make_wscript(std::move(facts)), script_path, text, quitting);
    oa::com_ptr<IActiveScriptParse64> parser = engine.try_query<IActiveScriptParse64>();

    HRESULT hr = parser ? parser->InitNew() : E_NOINTERFACE;
    if (SUCCEEDED(hr)) hr = engine->SetScriptSite(site.get());
    if (SUCCEEDED(hr)) hr = engine->AddNamedItem(L"WScript", SCRIPTITEM_ISVISIBLE);
    if (SUCCEEDED(hr)) {
        oa::unique_excepinfo info;
        hr = parser->ParseScriptText(oa::ole(text.c_str()), nullptr, nullptr, nullptr, 0, 0, SCRIPTTEXT_ISVISIBLE,
                                     nullptr, &info);
    }
    if (SUCCEEDED(hr) && !site->failed() && !quitting) hr = engine->SetScriptState(SCRIPTSTATE_CONNECTED);
    engine->Close();
    site->forget();
    parser = nullptr;
    engine = nullptr;

    script_result result;
    if (quitting) {
        result.how = script_result::end::exited;
        result.exit_code = quit_code;
    } else if (site->failed()) {
        result.how = script_result::end::failed;
    } else if (FAILED(hr)) {
        write_bytes(standard::error, script_path + ": the script engine failed: " + describe(hr) + "\n");
        result.how = script_result::end::failed;
    } else {
        result.how = script_result::end::completed;
    }
    return result;
}

}  // namespace q2mrhost::windows
