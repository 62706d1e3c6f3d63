// The library's exported frame services, with C linkage.
#pragma once

#include <oleauto.h>

#define Q2MR_EXPORT OLEAUTO_EXPORT

// What a program reads off the library: its version and that it registers itself.
struct DLLVERSIONINFO {
    DWORD cbSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformID;
};

Q2MR_EXPORT HRESULT DllRegisterServer();
Q2MR_EXPORT HRESULT DllUnregisterServer();
Q2MR_EXPORT HRESULT DllGetClassObject(REFCLSID clsid, REFIID iid, void** ppv);
Q2MR_EXPORT HRESULT DllCanUnloadNow();
// The objects and server locks alive other than class objects: what a script host
// reports as left alive (its engine may keep a class object it was given).
Q2MR_EXPORT LONG DllLiveObjects();
Q2MR_EXPORT HRESULT DllGetVersion(DLLVERSIONINFO* info);
// "FileVersion=2.0.0.6;ProductVersion=2.0.0.6;OLESelfRegister"
Q2MR_EXPORT const char* DllVersionResource();
