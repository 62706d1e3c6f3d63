// What the Windows tests share: the apartment of the test's thread, and paths as Wine
// shows the machine's folders (drive Z: is the root).
#pragma once

#include <gtest/gtest.h>

#include <objbase.h>

#include <string>

namespace q2mr_windows_test {

class Apartment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))); }
    void TearDown() override { CoUninitialize(); }
};
inline ::testing::Environment* const apartment = ::testing::AddGlobalTestEnvironment(new Apartment);

inline std::wstring windows_path(const std::string& unix_path) {
    std::wstring path = L"Z:";
    for (char c : unix_path) path += c == '/' ? L'\\' : static_cast<wchar_t>(static_cast<unsigned char>(c));
    return path;
}

// The folder of the test program, where the build puts the libraries too.
inline std::wstring beside_program(const wchar_t* file) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.find_last_of(L'\\') + 1) + file;
}

}  // namespace q2mr_windows_test
