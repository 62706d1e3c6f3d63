// The project's runtime on Linux: the subset of the standard API that the component, the
// change-server library and the hosts use, with the standard names, layouts and semantics.
// Text is UTF-16 (OLECHAR is a 16-bit code unit). Included through <oleauto.h>.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#define OLEAUTO_API __attribute__((visibility("default")))
#define STDMETHODCALLTYPE
#define STDAPICALLTYPE
#define STDAPI extern "C" OLEAUTO_API HRESULT
#define STDAPI_(type) extern "C" OLEAUTO_API type
// A library's exported entry points (its frame services).
#define OLEAUTO_EXPORT extern "C" __attribute__((visibility("default")))

// ---------------------------------------------------------------------------------------
// Scalar types
using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using SHORT = std::int16_t;
using USHORT = std::uint16_t;
using LONG = std::int32_t;
using ULONG = std::uint32_t;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using INT = int;
using UINT = unsigned int;
using BOOL = int;
using HRESULT = std::int32_t;
using SCODE = std::int32_t;
using LCID = DWORD;
using DISPID = LONG;
using MEMBERID = DISPID;
using DATE = double;
using OLECHAR = char16_t;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using VARIANT_BOOL = SHORT;
using CHAR = char;
using FLOAT = float;
using DOUBLE = double;
using LONG64 = std::int64_t;
using ULONG64 = std::uint64_t;
using VARTYPE = USHORT;
#define OLESTR(s) u##s

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif
constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// ---------------------------------------------------------------------------------------
// HRESULT
constexpr HRESULT hresult_of(std::uint32_t v) { return static_cast<HRESULT>(v); }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }
constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = hresult_of(0x80004001);
constexpr HRESULT E_NOINTERFACE = hresult_of(0x80004002);
constexpr HRESULT E_POINTER = hresult_of(0x80004003);
constexpr HRESULT E_FAIL = hresult_of(0x80004005);
constexpr HRESULT E_UNEXPECTED = hresult_of(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = hresult_of(0x8007000E);
constexpr HRESULT E_INVALIDARG = hresult_of(0x80070057);
constexpr HRESULT CLASS_E_NOAGGREGATION = hresult_of(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = hresult_of(0x80040111);
constexpr HRESULT REGDB_E_CLASSNOTREG = hresult_of(0x80040154);
constexpr HRESULT CO_E_CLASSSTRING = hresult_of(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = hresult_of(0x800401F8);
constexpr HRESULT SELFREG_E_CLASS = hresult_of(0x80040201);
constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = hresult_of(0x8002802B);
constexpr HRESULT TYPE_E_BADMODULEKIND = hresult_of(0x800288BD);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = hresult_of(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = hresult_of(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = hresult_of(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = hresult_of(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = hresult_of(0x80020006);
constexpr HRESULT DISP_E_NONAMEDARGS = hresult_of(0x80020007);
constexpr HRESULT DISP_E_BADVARTYPE = hresult_of(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = hresult_of(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = hresult_of(0x8002000A);
constexpr HRESULT DISP_E_BADINDEX = hresult_of(0x8002000B);
constexpr HRESULT DISP_E_ARRAYISLOCKED = hresult_of(0x8002000D);
constexpr HRESULT DISP_E_BADPARAMCOUNT = hresult_of(0x8002000E);
constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = hresult_of(0x8002000F);
constexpr HRESULT RPC_E_WRONG_THREAD = hresult_of(0x8001010E);
constexpr HRESULT E_ACCESSDENIED = hresult_of(0x80070005);
constexpr HRESULT CO_E_ERRORINDLL = hresult_of(0x800401F9);
constexpr HRESULT CO_E_OBJNOTREG = hresult_of(0x800401FB);

// ---------------------------------------------------------------------------------------
// GUID
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFGUID = const GUID&;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
inline bool operator==(const GUID& a, const GUID& b) { return std::memcmp(&a, &b, sizeof(GUID)) == 0; }
inline bool operator!=(const GUID& a, const GUID& b) { return !(a == b); }
inline bool IsEqualGUID(REFGUID a, REFGUID b) { return a == b; }
inline bool IsEqualIID(REFIID a, REFIID b) { return a == b; }
inline bool IsEqualCLSID(REFCLSID a, REFCLSID b) { return a == b; }
constexpr GUID GUID_NULL{};

#include <oa/extensions.h>

// ---------------------------------------------------------------------------------------
// Variants and arrays
enum VARENUM : VARTYPE {
    VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_CY = 6, VT_DATE = 7,
    VT_BSTR = 8, VT_DISPATCH = 9, VT_ERROR = 10, VT_BOOL = 11, VT_VARIANT = 12, VT_UNKNOWN = 13,
    VT_DECIMAL = 14, VT_I1 = 16, VT_UI1 = 17, VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21,
    VT_INT = 22, VT_UINT = 23, VT_VOID = 24, VT_HRESULT = 25, VT_PTR = 26, VT_SAFEARRAY = 27,
    VT_USERDEFINED = 29,
    VT_ARRAY = 0x2000, VT_BYREF = 0x4000, VT_TYPEMASK = 0x0FFF
};

struct IUnknown;
struct IDispatch;
struct SAFEARRAY;
struct VARIANT;
using VARIANTARG = VARIANT;

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONGLONG llVal;
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        double dblVal;
        float fltVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        DATE date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SAFEARRAY* parray;
        BYTE* pbVal;
        SHORT* piVal;
        LONG* plVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        SAFEARRAY** pparray;
        VARIANT* pvarVal;
        void* byref;
        struct {
            void* pvRecord;
            void* pRecInfo;
        };  // keeps the union two pointers wide
    };
};

struct SAFEARRAYBOUND {
    ULONG cElements;
    LONG lLbound;
};

struct SAFEARRAY {
    USHORT cDims;
    USHORT fFeatures;
    ULONG cbElements;
    ULONG cLocks;
    void* pvData;
    SAFEARRAYBOUND rgsabound[1];
};

constexpr USHORT FADF_FIXEDSIZE = 0x0010;
constexpr USHORT FADF_HAVEIID = 0x0040;
constexpr USHORT FADF_HAVEVARTYPE = 0x0080;
constexpr USHORT FADF_BSTR = 0x0100;
constexpr USHORT FADF_UNKNOWN = 0x0200;
constexpr USHORT FADF_DISPATCH = 0x0400;
constexpr USHORT FADF_VARIANT = 0x0800;
constexpr USHORT FADF_CREATEVECTOR = 0x2000;

constexpr USHORT VARIANT_NOVALUEPROP = 0x01;
constexpr USHORT VARIANT_ALPHABOOL = 0x02;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;
constexpr LCID LOCALE_NEUTRAL = 0;
constexpr LCID LOCALE_INVARIANT = 0x007F;

// ---------------------------------------------------------------------------------------
// Dispatch
using DISPID = LONG;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;

struct DISPPARAMS {
    VARIANTARG* rgvarg;
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

// ---------------------------------------------------------------------------------------
// Type information (read-only subset)
enum TYPEKIND { TKIND_ENUM = 0, TKIND_RECORD, TKIND_MODULE, TKIND_INTERFACE, TKIND_DISPATCH, TKIND_COCLASS,
                TKIND_ALIAS, TKIND_UNION, TKIND_MAX };
enum INVOKEKIND { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4, INVOKE_PROPERTYPUTREF = 8 };
enum FUNCKIND { FUNC_VIRTUAL = 0, FUNC_PUREVIRTUAL, FUNC_NONVIRTUAL, FUNC_STATIC, FUNC_DISPATCH };
enum CALLCONV { CC_STDCALL = 4 };
enum SYSKIND { SYS_WIN16 = 0, SYS_WIN32, SYS_MAC, SYS_WIN64 };

constexpr WORD TYPEFLAG_FAPPOBJECT = 0x01;
constexpr WORD TYPEFLAG_FCANCREATE = 0x02;
constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;
constexpr WORD IMPLTYPEFLAG_FDEFAULT = 0x1;
constexpr WORD PARAMFLAG_NONE = 0;
constexpr WORD PARAMFLAG_FIN = 0x1;
constexpr WORD PARAMFLAG_FOUT = 0x2;
constexpr WORD PARAMFLAG_FRETVAL = 0x8;
constexpr WORD PARAMFLAG_FOPT = 0x10;
constexpr WORD LIBFLAG_FHASDISKIMAGE = 0x8;

using HREFTYPE = DWORD;

struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;
        HREFTYPE hreftype;
    };
    VARTYPE vt;
};
struct IDLDESC {
    std::uintptr_t dwReserved;
    USHORT wIDLFlags;
};
struct PARAMDESC {
    void* pparamdescex;
    USHORT wParamFlags;
};
struct ELEMDESC {
    TYPEDESC tdesc;
    PARAMDESC paramdesc;
};
struct FUNCDESC {
    MEMBERID memid;
    SCODE* lprgscode;
    ELEMDESC* lprgelemdescParam;
    FUNCKIND funckind;
    INVOKEKIND invkind;
    CALLCONV callconv;
    SHORT cParams;
    SHORT cParamsOpt;
    SHORT oVft;
    SHORT cScodes;
    ELEMDESC elemdescFunc;
    WORD wFuncFlags;
};
struct TYPEATTR {
    GUID guid;
    LCID lcid;
    DWORD dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    LPOLESTR lpstrSchema;
    ULONG cbSizeInstance;
    TYPEKIND typekind;
    WORD cFuncs;
    WORD cVars;
    WORD cImplTypes;
    WORD cbSizeVft;
    WORD cbAlignment;
    WORD wTypeFlags;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};
struct TLIBATTR {
    GUID guid;
    LCID lcid;
    SYSKIND syskind;
    WORD wMajorVerNum;
    WORD wMinorVerNum;
    WORD wLibFlags;
};

// ---------------------------------------------------------------------------------------
// Interfaces
struct IUnknown {
    virtual HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) = 0;
    virtual ULONG STDMETHODCALLTYPE AddRef() = 0;
    virtual ULONG STDMETHODCALLTYPE Release() = 0;

    template <class Q> HRESULT QueryInterface(Q** pp) { return QueryInterface(iid_of<Q>(), reinterpret_cast<void**>(pp)); }

protected:
    ~IUnknown() = default;
};

// The type information interfaces in the standard layout, so that a caller built against
// either runtime calls the same slots; members that read no description here answer E_NOTIMPL.
struct ITypeLib;
struct ITypeComp;
struct VARDESC;
struct ITypeInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetVarDesc(UINT index, VARDESC** ppVarDesc) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                                             VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                                       DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                                                  BSTR* pBstrName, WORD* pwOrdinal) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) = 0;
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** ppTLib, UINT* pIndex) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
    virtual void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
    virtual void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC* pVarDesc) = 0;
};

struct ITypeLib : IUnknown {
    virtual UINT STDMETHODCALLTYPE GetTypeInfoCount() = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* pTKind) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** ppTinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** ppTLibAttr) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** ppTComp) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* pBstrName, BSTR* pBstrDocString,
                                                       DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE IsName(LPOLESTR szNameBuf, ULONG lHashVal, BOOL* pfName) = 0;
    virtual HRESULT STDMETHODCALLTYPE FindName(LPOLESTR szNameBuf, ULONG lHashVal, ITypeInfo** ppTInfo,
                                               MEMBERID* rgMemId, USHORT* pcFound) = 0;
    virtual void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* pTLibAttr) = 0;
};

struct IDispatch : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* pctinfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                                    DISPID* rgDispId) = 0;
    virtual HRESULT STDMETHODCALLTYPE Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                             DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                                             UINT* puArgErr) = 0;
};

struct IClassFactory : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObject) = 0;
    virtual HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) = 0;
};

struct IErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) = 0;
};

struct ICreateErrorInfo : IUnknown {
    virtual HRESULT STDMETHODCALLTYPE SetGUID(REFGUID rguid) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetSource(LPOLESTR szSource) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetDescription(LPOLESTR szDescription) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpFile(LPOLESTR szHelpFile) = 0;
    virtual HRESULT STDMETHODCALLTYPE SetHelpContext(DWORD dwHelpContext) = 0;
};

inline constexpr const IID& IID_IUnknown = interface_traits<IUnknown>::iid;
inline constexpr const IID& IID_IDispatch = interface_traits<IDispatch>::iid;
inline constexpr const IID& IID_ITypeInfo = interface_traits<ITypeInfo>::iid;
inline constexpr const IID& IID_ITypeLib = interface_traits<ITypeLib>::iid;
inline constexpr const IID& IID_IClassFactory = interface_traits<IClassFactory>::iid;
inline constexpr const IID& IID_IErrorInfo = interface_traits<IErrorInfo>::iid;
inline constexpr const IID& IID_ICreateErrorInfo = interface_traits<ICreateErrorInfo>::iid;
inline constexpr const IID& IID_NULL = GUID_NULL;

// ---------------------------------------------------------------------------------------
// Strings
STDAPI_(BSTR) SysAllocString(const OLECHAR* psz);
STDAPI_(BSTR) SysAllocStringLen(const OLECHAR* pch, UINT cch);
STDAPI_(BSTR) SysAllocStringByteLen(const char* psz, UINT len);
STDAPI_(INT) SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
STDAPI_(INT) SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT cch);
STDAPI_(void) SysFreeString(BSTR bstr);
STDAPI_(UINT) SysStringLen(BSTR bstr);
STDAPI_(UINT) SysStringByteLen(BSTR bstr);

// Variants
STDAPI_(void) VariantInit(VARIANTARG* pvarg);
STDAPI VariantClear(VARIANTARG* pvarg);
STDAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
STDAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
STDAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
STDAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags, VARTYPE vt);

// Conversions between the scalar types, from text and from an object's default value, with
// VariantChangeTypeEx's rules: every pair of distinct scalar types (target, its type, source,
// its type) but I8 and UI8 from I4, which the standard runtime does not export either; and
// the scalar types (name, type).
#define OLEAUTO_VAR_FROM_PAIRS(X) \
    X(UI1, BYTE, I2, SHORT) X(UI1, BYTE, I4, LONG) X(UI1, BYTE, I8, LONG64) X(UI1, BYTE, R4, FLOAT) \
    X(UI1, BYTE, R8, DOUBLE) X(UI1, BYTE, Bool, VARIANT_BOOL) X(UI1, BYTE, I1, CHAR) X(UI1, BYTE, UI2, USHORT) \
    X(UI1, BYTE, UI4, ULONG) X(UI1, BYTE, UI8, ULONG64) X(I2, SHORT, UI1, BYTE) X(I2, SHORT, I4, LONG) \
    X(I2, SHORT, I8, LONG64) X(I2, SHORT, R4, FLOAT) X(I2, SHORT, R8, DOUBLE) X(I2, SHORT, Bool, VARIANT_BOOL) \
    X(I2, SHORT, I1, CHAR) X(I2, SHORT, UI2, USHORT) X(I2, SHORT, UI4, ULONG) X(I2, SHORT, UI8, ULONG64) \
    X(I4, LONG, UI1, BYTE) X(I4, LONG, I2, SHORT) X(I4, LONG, I8, LONG64) X(I4, LONG, R4, FLOAT) \
    X(I4, LONG, R8, DOUBLE) X(I4, LONG, Bool, VARIANT_BOOL) X(I4, LONG, I1, CHAR) X(I4, LONG, UI2, USHORT) \
    X(I4, LONG, UI4, ULONG) X(I4, LONG, UI8, ULONG64) X(I8, LONG64, UI1, BYTE) X(I8, LONG64, I2, SHORT) \
    X(I8, LONG64, R4, FLOAT) X(I8, LONG64, R8, DOUBLE) X(I8, LONG64, Bool, VARIANT_BOOL) \
    X(I8, LONG64, I1, CHAR) X(I8, LONG64, UI2, USHORT) X(I8, LONG64, UI4, ULONG) X(I8, LONG64, UI8, ULONG64) \
    X(R4, FLOAT, UI1, BYTE) X(R4, FLOAT, I2, SHORT) X(R4, FLOAT, I4, LONG) X(R4, FLOAT, I8, LONG64) \
    X(R4, FLOAT, R8, DOUBLE) X(R4, FLOAT, Bool, VARIANT_BOOL) X(R4, FLOAT, I1, CHAR) X(R4, FLOAT, UI2, USHORT) \
    X(R4, FLOAT, UI4, ULONG) X(R4, FLOAT, UI8, ULONG64) X(R8, DOUBLE, UI1, BYTE) X(R8, DOUBLE, I2, SHORT) \
    X(R8, DOUBLE, I4, LONG) X(R8, DOUBLE, I8, LONG64) X(R8, DOUBLE, R4, FLOAT) X(R8, DOUBLE, Bool, VARIANT_BOOL) \
    X(R8, DOUBLE, I1, CHAR) X(R8, DOUBLE, UI2, USHORT) X(R8, DOUBLE, UI4, ULONG) X(R8, DOUBLE, UI8, ULONG64) \
    X(Bool, VARIANT_BOOL, UI1, BYTE) X(Bool, VARIANT_BOOL, I2, SHORT) X(Bool, VARIANT_BOOL, I4, LONG) \
    X(Bool, VARIANT_BOOL, I8, LONG64) X(Bool, VARIANT_BOOL, R4, FLOAT) X(Bool, VARIANT_BOOL, R8, DOUBLE) \
    X(Bool, VARIANT_BOOL, I1, CHAR) X(Bool, VARIANT_BOOL, UI2, USHORT) X(Bool, VARIANT_BOOL, UI4, ULONG) \
    X(Bool, VARIANT_BOOL, UI8, ULONG64) X(I1, CHAR, UI1, BYTE) X(I1, CHAR, I2, SHORT) X(I1, CHAR, I4, LONG) \
    X(I1, CHAR, I8, LONG64) X(I1, CHAR, R4, FLOAT) X(I1, CHAR, R8, DOUBLE) X(I1, CHAR, Bool, VARIANT_BOOL) \
    X(I1, CHAR, UI2, USHORT) X(I1, CHAR, UI4, ULONG) X(I1, CHAR, UI8, ULONG64) X(UI2, USHORT, UI1, BYTE) \
    X(UI2, USHORT, I2, SHORT) X(UI2, USHORT, I4, LONG) X(UI2, USHORT, I8, LONG64) X(UI2, USHORT, R4, FLOAT) \
    X(UI2, USHORT, R8, DOUBLE) X(UI2, USHORT, Bool, VARIANT_BOOL) X(UI2, USHORT, I1, CHAR) \
    X(UI2, USHORT, UI4, ULONG) X(UI2, USHORT, UI8, ULONG64) X(UI4, ULONG, UI1, BYTE) X(UI4, ULONG, I2, SHORT) \
    X(UI4, ULONG, I4, LONG) X(UI4, ULONG, I8, LONG64) X(UI4, ULONG, R4, FLOAT) X(UI4, ULONG, R8, DOUBLE) \
    X(UI4, ULONG, Bool, VARIANT_BOOL) X(UI4, ULONG, I1, CHAR) X(UI4, ULONG, UI2, USHORT) \
    X(UI4, ULONG, UI8, ULONG64) X(UI8, ULONG64, UI1, BYTE) X(UI8, ULONG64, I2, SHORT) \
    X(UI8, ULONG64, I8, LONG64) X(UI8, ULONG64, R4, FLOAT) X(UI8, ULONG64, R8, DOUBLE) \
    X(UI8, ULONG64, Bool, VARIANT_BOOL) X(UI8, ULONG64, I1, CHAR) X(UI8, ULONG64, UI2, USHORT) \
    X(UI8, ULONG64, UI4, ULONG)
#define OLEAUTO_VAR_SCALARS(X) \
    X(UI1, BYTE) X(I2, SHORT) X(I4, LONG) X(I8, LONG64) X(R4, FLOAT) X(R8, DOUBLE) X(Bool, VARIANT_BOOL) X(I1, CHAR) X(UI2, USHORT) X(UI4, ULONG) X(UI8, ULONG64)
#define OLEAUTO_DECLARE_VAR_FROM(T, Out, S, In) STDAPI Var##T##From##S(In in, Out* out);
#define OLEAUTO_DECLARE_VAR_FROM_TEXT(T, Out)                                              \
    STDAPI Var##T##FromStr(OLECHAR* strIn, LCID lcid, ULONG dwFlags, Out* out);          \
    STDAPI Var##T##FromDisp(IDispatch* pdispIn, LCID lcid, Out* out);                    \
    STDAPI VarBstrFrom##T(Out in, LCID lcid, ULONG dwFlags, BSTR* pbstrOut);
OLEAUTO_VAR_FROM_PAIRS(OLEAUTO_DECLARE_VAR_FROM)
OLEAUTO_VAR_SCALARS(OLEAUTO_DECLARE_VAR_FROM_TEXT)
STDAPI VarBstrFromDisp(IDispatch* pdispIn, LCID lcid, ULONG dwFlags, BSTR* pbstrOut);

// Comparing and joining texts.
constexpr HRESULT VARCMP_LT = 0;
constexpr HRESULT VARCMP_EQ = 1;
constexpr HRESULT VARCMP_GT = 2;
constexpr HRESULT VARCMP_NULL = 3;
constexpr ULONG NORM_IGNORECASE = 0x1;
STDAPI VarBstrCmp(BSTR bstrLeft, BSTR bstrRight, LCID lcid, ULONG dwFlags);
STDAPI VarBstrCat(BSTR bstrLeft, BSTR bstrRight, BSTR* pbstrResult);

// Safe arrays
STDAPI_(SAFEARRAY*) SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
STDAPI_(SAFEARRAY*) SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
STDAPI SafeArrayDestroy(SAFEARRAY* psa);
STDAPI SafeArrayRedim(SAFEARRAY* psa, SAFEARRAYBOUND* psaboundNew);
STDAPI_(UINT) SafeArrayGetDim(SAFEARRAY* psa);
STDAPI_(UINT) SafeArrayGetElemsize(SAFEARRAY* psa);
STDAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
STDAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
STDAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
STDAPI SafeArrayLock(SAFEARRAY* psa);
STDAPI SafeArrayUnlock(SAFEARRAY* psa);
STDAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
STDAPI SafeArrayUnaccessData(SAFEARRAY* psa);
STDAPI SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData);
STDAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
STDAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
STDAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);

// An argument of a call by its position (named arguments found by their id), converted.
STDAPI DispGetParam(DISPPARAMS* pdispparams, UINT position, VARTYPE vtTarg, VARIANT* pvarResult, UINT* puArgErr);

// Error info: one slot per thread
STDAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo);
STDAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
STDAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);

// Classes and registration
constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_ALL = 0x17;
constexpr DWORD REGCLS_SINGLEUSE = 0;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

STDAPI CoInitialize(void* pvReserved);  // a single-threaded apartment
STDAPI CoInitializeEx(void* pvReserved, DWORD dwCoInit);
STDAPI_(void) CoUninitialize();
STDAPI CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid);
STDAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
STDAPI CLSIDFromString(LPCOLESTR lpsz, CLSID* pclsid);
STDAPI_(int) StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
STDAPI StringFromCLSID(REFCLSID rclsid, LPOLESTR* lplpsz);  // task memory: CoTaskMemFree
STDAPI StringFromIID(REFIID rclsid, LPOLESTR* lplpsz);
STDAPI IIDFromString(LPCOLESTR lpsz, IID* lpiid);
STDAPI CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, void** ppv);
STDAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, void* pvReserved, REFIID riid, void** ppv);
STDAPI CoRegisterClassObject(REFCLSID rclsid, IUnknown* pUnk, DWORD dwClsContext, DWORD flags, DWORD* lpdwRegister);
STDAPI CoRevokeClassObject(DWORD dwRegister);
STDAPI_(void) CoFreeUnusedLibraries();
STDAPI_(LPOLESTR) CoTaskMemAllocString(LPCOLESTR s);  // for ProgIDFromCLSID's result
STDAPI_(void) CoTaskMemFree(void* pv);
STDAPI_(void*) CoTaskMemAlloc(std::size_t cb);
STDAPI_(void*) CoTaskMemRealloc(void* pv, std::size_t cb);

// The runtime's registry of classes is a text file (see runtime/README.md). Its place is
// OLEAUTO_REGISTRY when set, else $HOME/.config/oleauto/registry.
// The returned text stays valid until the calling thread's next call.
STDAPI_(const char*) OaGetRegistryPath();
STDAPI OaSetRegistryPath(const char* path);  // nullptr returns to the default; "" is E_INVALIDARG
// Asks the library that serves clsid whether it can be unloaded (its DllCanUnloadNow):
// S_OK or S_FALSE; REGDB_E_CLASSNOTREG for an unknown class.
STDAPI OaClassLibraryCanUnloadNow(REFCLSID clsid);

