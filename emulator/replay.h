// Replaying: the library answers every call from a cassette instead of its servers. Each
// call must be the recorded one (operation, object, arguments but a masked password);
// the first that is not fails, and so does every call after it.
#pragma once

#include <oleauto.h>

#include <string>
#include <string_view>

namespace mremu::replay {

// Reads and checks the cassette; from now on the classes make replaying objects. Throws
// oa::com_error (errors::bad_cassette) naming the line.
void start(const std::string& path);
bool active() noexcept;
// Back to the servers (Reset).
void stop() noexcept;
// The class object of a ProgID while replaying.
HRESULT class_object(std::string_view progid, REFIID iid, void** ppv);
// The first divergence, or the calls left unplayed; empty when the cassette played whole.
std::u16string outcome();

}  // namespace mremu::replay
