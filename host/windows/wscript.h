// The WScript object that scripts written for the stock script host expect: Echo,
// Arguments, Quit, ScriptName, ScriptFullName, StdOut and StdErr, CreateObject, Sleep.
// Each object is described once and served by the project's dispatcher.
#pragma once

#include <oa/dispatch.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace q2mrhost::windows {

struct IHostTextStream : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Write(BSTR text) = 0;
    virtual HRESULT STDMETHODCALLTYPE WriteLine(VARIANT* text) = 0;
};

struct IHostArguments : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Item(LONG index, BSTR* value) = 0;
    virtual HRESULT STDMETHODCALLTYPE Count(LONG* count) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_length(LONG* count) = 0;
};

struct IHostScript : IDispatch {
    virtual HRESULT STDMETHODCALLTYPE Echo(SAFEARRAY** values) = 0;
    virtual HRESULT STDMETHODCALLTYPE Quit(VARIANT* code) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_Arguments(IHostArguments** arguments) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ScriptName(BSTR* name) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_ScriptFullName(BSTR* path) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StdOut(IHostTextStream** stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE get_StdErr(IHostTextStream** stream) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateObject(BSTR progid, IDispatch** object) = 0;
    virtual HRESULT STDMETHODCALLTYPE Sleep(LONG milliseconds) = 0;
};

}  // namespace q2mrhost::windows

OLEAUTO_DECLARE_IID(q2mrhost::windows::IHostTextStream, 0xE13965C9, 0x41A3, 0x4F49, 0x95, 0x04, 0x1A, 0x6F, 0x42,
                    0xDA, 0xEB, 0x58);
OLEAUTO_DECLARE_IID(q2mrhost::windows::IHostArguments, 0xB7C71817, 0x82F9, 0x4EBB, 0x8D, 0x48, 0xC7, 0x66, 0x48,
                    0xBB, 0xBD, 0xAB);
OLEAUTO_DECLARE_IID(q2mrhost::windows::IHostScript, 0x4FC7C5AE, 0x2F98, 0x4387, 0xAD, 0x1D, 0xDF, 0x0B, 0x5A, 0x6B,
                    0x7C, 0xD6);

namespace q2mrhost::windows {

// What the script sees of its run.
struct script_facts {
    std::u16string name;       // the file's name
    std::u16string full_name;  // its full path
    std::vector<std::u16string> arguments;
    // WScript.Quit: ends the script with this exit code (after the end of the run).
    std::function<void(int)> quit;
};

// The object the engine knows as "WScript".
oa::com_ptr<IHostScript> make_wscript(script_facts facts);

// When the class of progid is out of this program's reach (registered for programs of the
// other bitness only, or not at all), the runtime's description of why; else nothing.
std::optional<std::u16string> unreachable(std::u16string_view progid);

// A failure that Quit raises to leave the running script; the host does not report it.
inline constexpr HRESULT quit_requested = hresult_of(0x80040300);

}  // namespace q2mrhost::windows
