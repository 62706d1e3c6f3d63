// The emulated change server's control class (ProgID "mrlib.Emulator"): hosts and tests
// load and save the emulated servers, inject faults, journal the library's calls and
// count its live objects. The servers themselves answer behind the mrlib interface.
#pragma once

#include <emulator/mrlib.h>
#include <oleauto.h>

namespace mremu {

// The control class's interface and class id (emulator/mrlib_control.idl, mrlib_library.idl).
using MRLIBLib::CLSID_Emulator;
using MRLIBLib::IEmulator;
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
