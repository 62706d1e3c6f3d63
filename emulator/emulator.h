// The emulated change server's control class (ProgID "mrlib.Emulator"): hosts and tests
// load and save the emulated servers, inject faults, journal the library's calls and
// count its live objects. The servers themselves answer behind the mrlib interface.
#pragma once

#include <emulator/mrlib.h>
#include <oleauto.h>

namespace mremu {

struct IEmulator : IDispatch {
    // Replaces every emulated server with those of a JSON fixture file.
    virtual HRESULT STDMETHODCALLTYPE LoadFixture(BSTR path) = 0;
    // Writes the emulated servers as they are now, in the fixture schema.
    virtual HRESULT STDMETHODCALLTYPE SaveState(BSTR path) = 0;
    // The next `times` calls of operation `op` fail with hresult and description;
    // times 0 drops the faults injected for op. Late-bound, hresult may also be given as
    // its unsigned form (0x80040201 from a script), which counts by its low 32 bits.
    virtual HRESULT STDMETHODCALLTYPE InjectFault(BSTR op, LONG hresult, BSTR description, LONG times) = 0;
    // Appends every later call into the library to the file, one JSON object per line.
    virtual HRESULT STDMETHODCALLTYPE StartJournal(BSTR path) = 0;
    // Closes the journal; fails (write_failed) when lines could not be written since it
    // was opened.
    virtual HRESULT STDMETHODCALLTYPE StopJournal() = 0;
    // Live objects of one class ("api", "User", "ObjectList", "ObjectData", "Attribute",
    // "Emulator"), or of the five mrlib classes together for the empty text.
    virtual HRESULT STDMETHODCALLTYPE LiveObjects(BSTR className, LONG* count) = 0;
    // Back to the built-in default server, without injected faults, not replaying.
    virtual HRESULT STDMETHODCALLTYPE Reset() = 0;
    // Also writes each journal line to standard error as the call is made, whether a
    // journal file is open or not (passwords masked as in the journal).
    virtual HRESULT STDMETHODCALLTYPE TraceCalls(VARIANT_BOOL on) = 0;
    // From now on every call into the library is answered from the cassette (recorded by a
    // host's --record) instead of the servers; it is read and checked first (bad_cassette,
    // naming the line).
    virtual HRESULT STDMETHODCALLTYPE ReplayCassette(BSTR path) = 0;
    // The replay's first divergence, or the recorded calls that were not made; the empty
    // text when the cassette played whole.
    virtual HRESULT STDMETHODCALLTYPE ReplayOutcome(BSTR* outcome) = 0;
    // From now on the library's class of progid ("mrlib.api", "mrlib.User") is served by
    // classObject (an object with IClassFactory, such as a recorder's in front of the
    // library's own class object), wherever the system finds the class; Empty or Nothing
    // gives the library its own class back.
    virtual HRESULT STDMETHODCALLTYPE ServeClass(BSTR progid, VARIANT* classObject) = 0;
    // The calls into the library since it was loaded, creations included: what the
    // journal would hold.
    virtual HRESULT STDMETHODCALLTYPE CallCount(LONG* count) = 0;
};

inline constexpr CLSID CLSID_Emulator{0x48F5D87D, 0xD2B8, 0x435A, {0xBF, 0x87, 0xE4, 0x78, 0xAB, 0xB2, 0x60, 0x4D}};
inline constexpr const char16_t* ProgID_Emulator = u"mrlib.Emulator";

// Library failures: FACILITY_ITF codes from 0x80040200, never of the 0x800A.... form.
// Each comes with an English description through the error info.
namespace errors {
constexpr HRESULT not_connected = hresult_of(0x80040201);      // api not opened, or its server was replaced
constexpr HRESULT no_user = hresult_of(0x80040202);            // an absent User where one is needed
constexpr HRESULT not_logged_in = hresult_of(0x80040203);      // User not logged in to this api's server
constexpr HRESULT foreign_object = hresult_of(0x80040204);     // an object that this library did not make
constexpr HRESULT unknown_cr = hresult_of(0x80040205);
constexpr HRESULT attribute_not_requested = hresult_of(0x80040206);
constexpr HRESULT unknown_attribute = hresult_of(0x80040207);  // the CR has no such attribute
constexpr HRESULT bad_query = hresult_of(0x80040208);
constexpr HRESULT bad_label = hresult_of(0x80040209);          // label other than "Quellar xml data"
constexpr HRESULT bad_byte_count = hresult_of(0x8004020A);
constexpr HRESULT unknown_object = hresult_of(0x8004020B);     // no object (or CR) with that id
constexpr HRESULT status_change_refused = hresult_of(0x8004020C);  // ModifyCR changing crstatus
constexpr HRESULT transition_refused = hresult_of(0x8004020D);
constexpr HRESULT bad_index = hresult_of(0x8004020E);
constexpr HRESULT list_closed = hresult_of(0x8004020F);
constexpr HRESULT not_cr_data = hresult_of(0x80040210);        // ModifyCR/TransitionCR given other data
constexpr HRESULT missing_argument = hresult_of(0x80040211);   // a null pointer where data is needed
constexpr HRESULT too_many_rows = hresult_of(0x80040212);      // late-bound table calls carry one row
// Control-class failures.
constexpr HRESULT file_missing = hresult_of(0x80040220);       // fixture cannot be opened or read
constexpr HRESULT bad_json = hresult_of(0x80040221);
constexpr HRESULT schema_error = hresult_of(0x80040222);
constexpr HRESULT write_failed = hresult_of(0x80040223);       // state or journal file cannot be written
constexpr HRESULT bad_argument = hresult_of(0x80040224);       // unknown operation or class name, bad times
constexpr HRESULT bad_cassette = hresult_of(0x80040225);       // a cassette that cannot be read
constexpr HRESULT replay_diverged = hresult_of(0x80040226);    // a call other than the recorded one
}  // namespace errors

}  // namespace mremu

OLEAUTO_DECLARE_IID(mremu::IEmulator, 0x0CC8CACB, 0x881F, 0x4765, 0x8A, 0x6C, 0x0F, 0x12, 0x70, 0xC1, 0xC4, 0x25);
