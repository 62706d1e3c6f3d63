// The recorder: class objects of its own put, for one run, between every caller and the
// library classes of the ProgIDs given (found where the system finds them), so that each
// call into the library is written to a cassette as it is made, nothing registered.
#pragma once

#include <cassette/cassette.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace cassette {

struct recorder_state;

class recorder {
public:
    // Opens the cassette (throws platform::file_error) and serves the classes of these
    // ProgIDs through the recorder; throws oa::com_error when one names no class.
    recorder(const std::string& path, std::initializer_list<std::u16string_view> progids);
    // Revokes the recorder's class objects, if finish() did not.
    ~recorder();
    recorder(const recorder&) = delete;
    recorder& operator=(const recorder&) = delete;
    // Revokes the class objects and writes the cassette out; throws platform::file_error
    // when a line could not be written.
    void finish();

private:
    void revoke() noexcept;
    std::shared_ptr<recorder_state> state_;
    std::vector<DWORD> cookies_;
};

}  // namespace cassette
