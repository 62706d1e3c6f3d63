// The cassette reader and the replay behind it: the input is written to a file and read.
// A refused cassette names its file and line, and the emulated library refuses it alike;
// an accepted one is replayed by making its own calls again (the first 32) without a
// crash or a leak: no replaying object is left alive afterwards.
#include "entries.h"
#include "emulator_world.h"

#include <cassette/cassette.h>
#include <emulator/emulator.h>
#include <oa/com_ptr.h>
#include <oa/text.h>
#include <oa/unique.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <unistd.h>

namespace q2mr_fuzz {

namespace {

using cassette::json;

emulator_world& the_world() {
    static emulator_world w("q2mr_cassette");
    return w;
}

// The argument a recorded one stands for, as a caller would pass it; what the caller
// cannot rebuild (rows, byte blocks) goes as Empty. Boxes live in `boxes`.
VARIANT argument(const json& a, const std::map<std::string, oa::com_ptr<IDispatch>>& objects,
                 std::deque<VARIANT>& boxes) {
    VARIANT v;
    VariantInit(&v);
    if (!a.is_array() || a.size() != 2 || !a[0].is_string()) return v;
    const std::string type = a[0].get<std::string>();
    const json& x = a[1];
    if (type == "BSTR" && x.is_string()) {
        v.vt = VT_BSTR;
        v.bstrVal = oa::make_bstr(oa::utf8_to_utf16(x.get<std::string>()).value_or(u"")).release();
    } else if ((type == "I2" || type == "I2&" || type == "I4" || type == "I4&") && x.is_number_integer()) {
        // A by-reference number points into a box that outlives the call.
        VARIANT& box = boxes.emplace_back();
        if (type[1] == '2') {
            box.vt = VT_I2;
            box.iVal = static_cast<SHORT>(x.get<long long>());
        } else {
            box.vt = VT_I4;
            box.lVal = static_cast<LONG>(x.get<long long>());
        }
        if (type.back() == '&') {
            v.vt = VT_BYREF | box.vt;
            v.byref = &box.lVal;  // the value's place, whichever its width
        } else {
            v = box;
        }
    } else if (type == "BOOL" && x.is_boolean()) {
        v.vt = VT_BOOL;
        v.boolVal = x.get<bool>() ? VARIANT_TRUE : VARIANT_FALSE;
    } else if (type == "DISPATCH") {
        v.vt = VT_DISPATCH;
        v.pdispVal = nullptr;
        if (x.is_string())
            if (auto it = objects.find(x.get<std::string>()); it != objects.end()) {
                v.pdispVal = it->second.get();
                v.pdispVal->AddRef();
            }
    }
    return v;
}

// Makes recorded call `c` again: a creation on its ProgID, or the operation on the object
// of its handle; keeps the objects delivered under their recorded handles.
void call_again(const json& c, std::map<std::string, oa::com_ptr<IDispatch>>& objects) {
    const std::string on = c["on"].get<std::string>(), op = c["op"].get<std::string>();
    const json* result = c.contains("result") ? &c["result"] : nullptr;
    const auto keep = [&](oa::com_ptr<IDispatch> object) {
        if (object && result && result->is_array() && result->size() == 2 && (*result)[1].is_string())
            objects[(*result)[1].get<std::string>()] = std::move(object);
    };
    if (op == "new") {
        // The library's two classes only: another ProgID could name the control class, whose
        // calls write files wherever a path points.
        if (on != "mrlib.api" && on != "mrlib.User") return;
        CLSID clsid{};
        if (FAILED(CLSIDFromProgID(oa::ole(oa::ascii_to_utf16(on).c_str()), &clsid))) return;
        oa::com_ptr<IDispatch> made;
        const HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid_of<IDispatch>(), made.put_void());
        expect(SUCCEEDED(hr) == (made != nullptr), "a replayed creation", "answered an object and its code apart");
        keep(std::move(made));
        return;
    }
    auto it = objects.find(on);
    if (it == objects.end() || op.empty() || op.size() > 64) return;
    std::u16string buffer = oa::utf8_to_utf16(op).value_or(u"");
    LPOLESTR names[] = {oa::ole(buffer.data())};
    DISPID id = DISPID_UNKNOWN;
    if (it->second->GetIDsOfNames(IID_NULL, names, 1, 0, &id) != S_OK) return;

    std::deque<VARIANT> boxes;
    std::vector<VARIANT> args;
    for (const json& a : c["args"]) args.insert(args.begin(), argument(a, objects, boxes));  // last first
    const bool put = c.value("kind", json()) == "put";
    DISPID named = DISPID_PROPERTYPUT;
    DISPPARAMS params{args.data(), put ? &named : nullptr, static_cast<UINT>(args.size()), put ? 1u : 0u};
    oa::unique_variant got;
    oa::unique_excepinfo failure;  // a recorded failure comes back as it was recorded, code 0 included
    UINT bad = 0;
    const HRESULT hr = it->second->Invoke(id, IID_NULL, 0, put ? DISPATCH_PROPERTYPUT : DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                                          &params, put ? nullptr : got.put(), &failure, &bad);
    for (VARIANT& a : args) VariantClear(&a);
    if (SUCCEEDED(hr) && got.vt == VT_DISPATCH) keep(oa::com_ptr<IDispatch>(got.pdispVal));
}

}  // namespace

int cassette_input(const std::uint8_t* data, std::size_t size) {
    emulator_world& w = the_world();
    const std::string path = w.folder + "/input.jsonl";
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    }
    bool accepted = true;
    cassette::recorded tape;
    try {
        tape = cassette::read(path);
    } catch (const std::runtime_error& e) {
        accepted = false;
        expect(std::string(e.what()).rfind(path + ":", 0) == 0, "a refused cassette", "is not named with its line");
    }
    for (std::size_t i = 0; i < tape.calls.size(); ++i)
        expect(tape.calls[i]["call"] == i + 1, "an accepted cassette", "numbers its calls out of order");

    mremu::IEmulator* emu = w.emulator.get();
    const oa::unique_bstr name = oa::make_bstr(oa::ascii_to_utf16(path));
    const HRESULT hr = emu->ReplayCassette(name.get());
    expect(accepted ? hr == S_OK : hr == mremu::errors::bad_cassette, "ReplayCassette",
           "disagrees with the reader about the cassette");
    if (accepted) {
        std::map<std::string, oa::com_ptr<IDispatch>> objects;
        for (std::size_t i = 0; i < tape.calls.size() && i < 32; ++i) call_again(tape.calls[i], objects);
        oa::unique_bstr outcome;
        expect(emu->ReplayOutcome(outcome.put()) == S_OK, "ReplayOutcome", "failed");
    }
    expect(emu->Reset() == S_OK, "Reset", "failed");
    LONG alive = -1;
    expect(emu->LiveObjects(oa::make_bstr(u"").get(), &alive) == S_OK && alive == 0, "the replay",
           "left objects alive");
    return 0;
}

}  // namespace q2mr_fuzz
