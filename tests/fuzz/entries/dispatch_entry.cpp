// Late-bound calls on a logged-in session and on a value record. Each input starts from
// the standard fixture, a fresh session connected and logged in as jane, and a fresh
// value record; then it runs up to 16 calls whose dispatch id, flags, argument count,
// argument types and by-reference boxes all come from the input, with library faults
// injected before some of them. Properties checked: every call answers S_OK or a failure
// code, a DISP_E_EXCEPTION carries a failure code, a successful call delivers its declared
// result type, and once both objects are released no library or component object is left.
#include "entries.h"
#include "values.h"

#include <component/t2mrapp.h>
#include <emulator/emulator.h>
#include <emulator/target.h>
#include <forms/backend.h>
#include <forms/headless.h>
#include <oa/text.h>
#include <value/t2DataClass.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#ifndef Q2MR_FUZZ_REGISTRY
#error "Q2MR_FUZZ_REGISTRY names the registry that the build writes"
#endif
#ifndef Q2MR_FUZZ_FIXTURES
#error "Q2MR_FUZZ_FIXTURES names tests/fixtures"
#endif

namespace q2mr_fuzz {

namespace {

constexpr int max_calls = 16;

struct world {
    oa::com_ptr<mremu::IEmulator> emulator;
    oa::unique_bstr fixture;
    std::string folder;

    world() {
        expect(OaSetRegistryPath(Q2MR_FUZZ_REGISTRY) == S_OK, "setup:", "registry");
        forms::use_backend(forms::Backend::Headless);
        expect(CoCreateInstance(mremu::CLSID_Emulator, nullptr, CLSCTX_INPROC_SERVER, iid_of<mremu::IEmulator>(),
                                emulator.put_void()) == S_OK,
               "setup:", "no emulator");
        fixture = oa::make_bstr(oa::ascii_to_utf16(std::string(Q2MR_FUZZ_FIXTURES) + "/standard.json"));
        // Files that VANT_SetCRattributeByFile may read live in a folder of their own.
        char name[] = "/tmp/q2mr_fuzz_XXXXXX";
        expect(::mkdtemp(name) != nullptr, "setup:", "no temporary folder");
        folder = name;
        expect(::chdir(name) == 0, "setup:", "chdir");
        std::ofstream("a.txt") << "assigned";
        std::ofstream("b.txt") << "line one\r\nline <two> & three\n";
    }
    ~world() {
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
};

world& the_world() {
    static world w;
    return w;
}

// A decoded text, kept inside the sandbox and off the dialog's path: "Admin" as a role
// would open the login dialog, and absolute paths could name devices that never end.
std::u16string safe_text(input& in) {
    std::u16string s = decode_text(in);
    if (s == u"Admin") s = u"Admin_";
    if (!s.empty() && s[0] == u'/' && s.rfind(u"/db/", 0) != 0) s.erase(0, s.find_first_not_of(u'/'));
    return s;
}

// Argument values: mostly of the member's declared type, so that calls get past the
// dispatcher, otherwise anything.
void decode_argument(input& in, const oa::disp::param* declared, const std::vector<IDispatch*>& pool,
                     VARIANT& out) {
    VariantInit(&out);
    if (declared && in.byte() % 4 != 0) {
        switch (declared->vt) {
        case VT_BSTR: out.vt = VT_BSTR, out.bstrVal = oa::make_bstr(safe_text(in)).release(); return;
        case VT_I2:
            out.vt = VT_I2;
            out.iVal = in.pick<SHORT>({0, 1, 2, 3, -1, 500, 501, 800, 900, 32600, 32700, 32767, -32768,
                                       static_cast<SHORT>(in.u16())});
            return;
        case VT_BOOL: out.vt = VT_BOOL, out.boolVal = in.pick<VARIANT_BOOL>({VARIANT_TRUE, VARIANT_FALSE, 2}); return;
        case VT_I4: out.vt = VT_I4, out.lVal = static_cast<LONG>(in.u32()); return;
        case VT_DISPATCH:
            out.vt = VT_DISPATCH;
            out.pdispVal = pool[in.byte() % pool.size()];
            if (out.pdispVal) out.pdispVal->AddRef();
            return;
        default: break;
        }
    }
    decode_value(in, pool, out);
    if (out.vt == VT_BSTR && oa::view(out.bstrVal) == u"Admin") out.bstrVal[0] = u'a';
    if (out.vt == VT_BSTR && out.bstrVal && out.bstrVal[0] == u'/') out.bstrVal[0] = u'_';
}

void inject_fault(input& in, mremu::IEmulator* emulator) {
    // Operations a fault can target, as the emulator names them.
    const mremu::target aimed = mremu::target::at(in.byte() % mremu::target::count);
    oa::unique_bstr op = oa::make_bstr(oa::ascii_to_utf16(aimed.name()));
    const HRESULT hr = in.pick<HRESULT>({hresult_of(0x80040201), E_FAIL, E_OUTOFMEMORY, hresult_of(0x800A0009),
                                         hresult_of(0x800A005B), DISP_E_EXCEPTION, DISP_E_TYPEMISMATCH,
                                         hresult_of(0x80040212)});
    oa::unique_bstr description = oa::make_bstr(in.pick<const char16_t*>({u"Injected", u"", u"s3cret & <x>"}));
    const LONG times = 1 + in.byte() % 3;
    expect(emulator->InjectFault(op.get(), hr, description.get(), times) == S_OK, "InjectFault", "refused");
}

// One late-bound call decoded from the input.
void call(input& in, IDispatch* target, const oa::disp::interface_desc& desc, const std::vector<IDispatch*>& pool) {
    DISPID id;
    const std::uint8_t which = in.byte();
    if (which < 224) {
        id = desc.members[which % desc.members.size()].id;
    } else {
        id = in.pick<DISPID>({0, -1, DISPID_PROPERTYPUT, 0x60030019, 0x6003001D, 0x68030003, 0x68030006,
                              static_cast<DISPID>(in.u32())});
    }
    WORD flags = in.pick<WORD>({DISPATCH_METHOD, DISPATCH_PROPERTYGET, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                DISPATCH_PROPERTYPUT, DISPATCH_PROPERTYPUTREF, 0, static_cast<WORD>(in.u16())});
    // Match the flags to the member now and then, so that most calls reach it.
    const oa::disp::member* m = desc.find(id, flags);
    if (!m && in.flag()) {
        m = desc.first_with_id(id);
        if (m) flags = m->kind == oa::disp::member_kind::method ? DISPATCH_METHOD
                      : m->kind == oa::disp::member_kind::get  ? DISPATCH_PROPERTYGET
                                                               : DISPATCH_PROPERTYPUT;
        m = desc.find(id, flags);
    }
    UINT count = m && in.byte() % 8 != 0 ? static_cast<UINT>(m->params.size()) : in.byte() % 8;

    // By-value arguments and the boxes of by-reference ones; the callee may write the boxes.
    std::deque<oa::unique_variant> values;
    std::vector<VARIANT> args(count);
    for (UINT i = 0; i < count; ++i) {
        const oa::disp::param* declared = m && i < m->params.size() ? &m->params[i] : nullptr;
        oa::unique_variant& v = values.emplace_back();
        decode_argument(in, declared, pool, v);
        VARIANT& a = args[count - 1 - i];  // arguments travel last first
        switch (in.byte() % 4) {
        case 0:
            a.vt = VT_BYREF | VT_VARIANT;
            a.pvarVal = &v;
            break;
        case 1:
            if (v.vt == VT_BSTR || v.vt == VT_I2 || v.vt == VT_I4 || v.vt == VT_BOOL || v.vt == VT_DISPATCH) {
                a.vt = VT_BYREF | v.vt;
                a.byref = &v.llVal;
                break;
            }
            [[fallthrough]];
        default: a = v; break;  // shallow: the callee only reads it
        }
    }

    DISPID named[2] = {DISPID_PROPERTYPUT, static_cast<DISPID>(in.byte())};
    DISPPARAMS params{args.data(), nullptr, count, 0};
    const std::uint8_t naming = in.byte() % 8;
    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) ? naming != 0 : naming == 0) {
        params.rgdispidNamedArgs = named;
        params.cNamedArgs = std::min<UINT>(count, naming == 7 ? 2u : 1u);
        if (naming == 6) named[0] = 0;
    }
    const std::uint8_t outs = in.byte();
    oa::unique_variant result;
    oa::unique_excepinfo exception;
    UINT arg_err = ~0u;
    const HRESULT hr = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                      (outs & 1) ? nullptr : &result, (outs & 2) ? nullptr : &exception,
                                      (outs & 4) ? nullptr : &arg_err);
    if (std::getenv("Q2MR_FUZZ_TRACE")) {
        // What each call did, for reading an input back.
        std::fprintf(stderr, "call 0x%08X flags %u args %u -> 0x%08X %s %s\n", static_cast<unsigned>(id), flags, count,
                     static_cast<unsigned>(hr), result.vt == VT_BSTR ? oa::utf16_to_utf8(oa::view(result.bstrVal)).c_str() : "",
                     oa::utf16_to_utf8(oa::view(exception.bstrDescription)).c_str());
    }
    expect(hr == S_OK || FAILED(hr), "Invoke", "answered a success code other than S_OK");
    if (hr == DISP_E_EXCEPTION) expect(FAILED(exception.scode), "DISP_E_EXCEPTION", "without a failure code");
    if (hr == S_OK && !(outs & 1)) {
        const oa::disp::member* served = desc.find(id, flags);
        expect(served != nullptr, "Invoke", "succeeded for a member that is not there");
        if (served->has_result && served->result.vt != VT_VARIANT)
            expect(result.vt == served->result.vt, "Invoke", "delivered another result type than declared");
        if (!served->has_result) expect(result.vt == VT_EMPTY, "Invoke", "delivered a result for a put");
    }
    // Without EXCEPINFO a member's own failure comes back bare, with no argument to name.
    if ((hr == DISP_E_TYPEMISMATCH || hr == DISP_E_OVERFLOW) && !(outs & 6))
        expect(arg_err < count, "Invoke", "named no argument for a type failure");
}

}  // namespace

int dispatch_input(const std::uint8_t* data, std::size_t size) {
    world& w = the_world();
    input in(data, size);
    const long objects_before = oa::module_count.load();
    expect(w.emulator->LoadFixture(w.fixture.get()) == S_OK, "setup:", "fixture");
    forms::headless::reset();
    {
        auto session = oa::make_self<quellar2mrapi::t2mrapp>();
        auto value = oa::make_self<quellar2mrapi::t2DataClass>();
        {
            oa::unique_bstr host = oa::make_bstr(u"localhost"), protocol = oa::make_bstr(u"tcp"), result;
            SHORT port = 8400;
            expect(session->Connect(host.addressof(), protocol.addressof(), &port, result.put()) == S_OK &&
                       oa::view(result.get()).empty(),
                   "setup:", "Connect");
            oa::unique_bstr name = oa::make_bstr(u"jane"), password = oa::make_bstr(u"s3cret"),
                            role = oa::make_bstr(u"developer"), database = oa::make_bstr(u"/db/alpha"),
                            app = oa::make_bstr(u"fuzz");
            expect(session->Login(name.addressof(), password.addressof(), role.addressof(), database.addressof(),
                                  app.addressof(), result.put()) == S_OK &&
                       oa::view(result.get()).empty(),
                   "setup:", "Login");
        }
        // Objects a call may be handed: Nothing, the two objects, the emulator's control
        // object, and the session's own connection and user.
        oa::com_ptr<IDispatch> api;
        oa::com_ptr<IDispatch> user;
        session->get_api(api.put());
        session->get_User(user.put());
        const std::vector<IDispatch*> pool{nullptr, session.get(), value.get(), w.emulator.get(), api.get(),
                                           user.get()};
        for (int k = 0; k < max_calls && !in.empty(); ++k) {
            const std::uint8_t head = in.byte();
            if (head & 2) inject_fault(in, w.emulator.get());
            if (head & 1) call(in, value.get(), quellar2mrapi::t2DataClass::description(), pool);
            else call(in, session.get(), quellar2mrapi::t2mrapp::description(), pool);
        }
    }
    oa::unique_bstr all = oa::make_bstr(u"");
    LONG alive = -1;
    expect(w.emulator->LiveObjects(all.get(), &alive) == S_OK, "LiveObjects", "failed");
    if (alive != 0) broken("library objects left alive:", std::to_string(alive).c_str());
    expect(oa::module_count.load() == objects_before, "component objects", "left alive");
    return 0;
}

}  // namespace q2mr_fuzz
