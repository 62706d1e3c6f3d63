// The recorder: class objects of its own put, for one run, between every caller and the
// library classes of the ProgIDs given (found where the system finds them), so that each
// call into the library is written to a cassette as it is made, nothing registered. They
// go into the system's table of class objects, or to a library that serves them itself
// (the emulated library: an activation context finds its classes before that table).
#pragma once

#include <cassette/cassette.h>

#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace MRLIBLib {
struct IEmulator;  // the emulated library's control class (emulator/mrlib_control.idl)
}
namespace mremu {
using MRLIBLib::IEmulator;
}

namespace cassette {

struct recorder_state;

class recorder {
public:
    // Puts the recorder's class object of a ProgID in front of the library's, or takes it
    // away again (null).
    using placement = std::function<HRESULT(std::u16string_view progid, IClassFactory* ours)>;

    // Opens the cassette (throws platform::file_error) and serves the classes of these
    // ProgIDs through the recorder, placed by place (by default the system's table of
    // class objects); throws oa::com_error when one names no class, or when the system
    // still hands out the library's class object past the recorder's.
    recorder(const std::string& path, std::initializer_list<std::u16string_view> progids, placement place = {});
    // Revokes the recorder's class objects, if finish() did not.
    ~recorder();
    recorder(const recorder&) = delete;
    recorder& operator=(const recorder&) = delete;
    // Revokes the class objects and writes the cassette out; throws platform::file_error
    // when a line could not be written.
    void finish();
    // The calls written so far.
    long calls() const noexcept;
    // Why the run must fail when the library answered calls (library_calls) and none was
    // recorded: they went past the recorder. Empty otherwise.
    std::string unrecorded(long library_calls) const;

private:
    void serve(std::u16string_view progid);
    void revoke() noexcept;
    std::shared_ptr<recorder_state> state_;
    placement place_;
    std::vector<std::u16string> placed_;
    std::vector<DWORD> cookies_;
};

// The placement into the emulated library, which serves the recorder's class objects
// itself wherever the system finds its classes (IEmulator::ServeClass).
recorder::placement served_by(mremu::IEmulator* emulator);

}  // namespace cassette
