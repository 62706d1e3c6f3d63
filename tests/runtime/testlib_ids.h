// Identity of the test server in runtime_testlib.
#pragma once

#include "oleauto.h"

namespace rt_test {
// {6A1F0C3E-2B7D-4E59-9C11-0D5E7A3B8F21}
constexpr CLSID CLSID_TestCounter{0x6A1F0C3E, 0x2B7D, 0x4E59, {0x9C, 0x11, 0x0D, 0x5E, 0x7A, 0x3B, 0x8F, 0x21}};
constexpr const char* kTestProgID = "OaTest.Counter.1";
constexpr const char* kTestVIProgID = "OaTest.Counter";
constexpr LONG kTestDefaultValue = 42;
}  // namespace rt_test
