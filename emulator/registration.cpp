// The library's self-registration. A workstation may already hold a real build of the
// library whose classes own the ProgIDs: registering never takes one of them over unless
// forced (DllInstall with "force"), and unregistering removes only this library's keys.
#include <emulator/objects.h>

#include <oa/error.h>
#include <oa/registration.h>
#include <oa/text.h>

#include <cstdio>
#include <string>
#include <string_view>

OLEAUTO_EXPORT HRESULT DllRegisterServer();
OLEAUTO_EXPORT HRESULT DllUnregisterServer();
OLEAUTO_EXPORT HRESULT DllInstall(BOOL install, LPCOLESTR commandLine);

namespace {

using namespace mremu;

// HRESULT_FROM_WIN32(ERROR_CLASS_ALREADY_EXISTS), "Class already exists.": a ProgID of
// this library names a class of another server.
constexpr HRESULT progid_taken = hresult_of(0x80070582);

const oa::reg::coclass_entry classes[] = {
    {MRLIBLib::CLSID_api, "mrlib api (emulated)", MRLIBLib::ProgID_api_version, "mrlib.api"},
    {MRLIBLib::CLSID_User, "mrlib User (emulated)", MRLIBLib::ProgID_User_version, "mrlib.User"},
    {CLSID_Emulator, "mrlib emulated server control", "mrlib.Emulator", "mrlib.Emulator"},
};
const oa::reg::interface_entry interfaces[] = {
    {iid_of<MRLIBLib::IUser>(), "IUser"},           {iid_of<MRLIBLib::IAttribute>(), "IAttribute"},
    {iid_of<MRLIBLib::IObjectData>(), "IObjectData"}, {iid_of<MRLIBLib::IObjectList>(), "IObjectList"},
    {iid_of<MRLIBLib::Iapi>(), "Iapi"},             {iid_of<IEmulator>(), "IEmulator"},
};
const oa::reg::library& registration() {
    static const oa::disp::library_desc& types = *type_library();
    static const oa::reg::library description{
        "mrlib.dll", classes, interfaces, &types.libid, types.major, types.minor, types.lcid, "MRLIBLib"};
    return description;
}

std::string guid_text(REFGUID guid) {
    OLECHAR text[40] = {};
    StringFromGUID2(guid, text, 40);
    return oa::utf16_to_utf8(oa::view_z(text));
}

// "the ProgID P names the class {X} of another server", for each ProgID of this library
// that names a class other than its own; empty when none does.
std::string taken_progids() {
    std::string taken;
    const auto check = [&taken](std::string_view progid, REFCLSID own) {
        const std::u16string name = oa::ascii_to_utf16(progid);
        CLSID owner{};
        if (FAILED(OaClassFromProgID(oa::ole(name.c_str()), &owner)) || owner == own) return;
        if (!taken.empty()) taken += "; ";
        taken += "the ProgID " + std::string(progid) + " names the class " + guid_text(owner) + " of another server";
    };
    for (const oa::reg::coclass_entry& c : classes) {
        check(c.version_independent, c.clsid);
        if (c.progid != c.version_independent) check(c.progid, c.clsid);
    }
    return taken;
}

// The one-line message goes to standard error too: the system's registration tool does
// not show the error info.
[[noreturn]] void refuse(HRESULT hr, const std::string& message) {
    std::fprintf(stderr, "%s\n", message.c_str());
    oa::raise(hr, oa::utf8_to_utf16(message).value_or(u"The emulated mrlib library was not registered."));
}

HRESULT register_library(bool force) {
    return oa::boundary(u"mrlib", [force]() -> HRESULT {
        const char* module = OaModulePathOf(reinterpret_cast<const void*>(&DllRegisterServer));
        if (!module) return SELFREG_E_CLASS;
        const std::string path = module;  // the runtime's text lasts until its next call
        // Checked before anything is written, so that a refusal leaves the registry as it was.
        if (!force) {
            if (const std::string taken = taken_progids(); !taken.empty())
                refuse(progid_taken, "The emulated mrlib library was not registered: " + taken +
                                         ". To register it anyway: " + OaForceRegistrationCommand(path.c_str()));
        }
        const HRESULT hr = oa::reg::register_server(registration(), reinterpret_cast<const void*>(&DllRegisterServer));
        return SUCCEEDED(hr) ? S_OK : SELFREG_E_CLASS;
    });
}

bool is_force(std::u16string_view command) { return oa::same_ascii_case(command, u"force"); }

}  // namespace

OLEAUTO_EXPORT HRESULT DllRegisterServer() { return register_library(false); }

// Each class takes away only what is its own: a ProgID that names another class stays.
OLEAUTO_EXPORT HRESULT DllUnregisterServer() { return oa::reg::unregister_server(registration()); }

OA_REGISTRATION_EXPORT(registration())

// "force" registers over ProgIDs of another server; without a command line it is the
// ordinary registration. Unregistering never needs forcing.
OLEAUTO_EXPORT HRESULT DllInstall(BOOL install, LPCOLESTR commandLine) {
    const std::u16string_view command = oa::view_z(commandLine);
    if (!command.empty() && !is_force(command))
        return oa::boundary(u"mrlib", [] {
            refuse(E_INVALIDARG, "The emulated mrlib library knows one DllInstall command line only: force");
        });
    if (!install) return DllUnregisterServer();
    return register_library(!command.empty());
}
