// Read-only type information built from the interface and class descriptions.
#include <oa/dispatch.h>
#include <oa/text.h>

#include <memory>

namespace oa::disp {

namespace {

constexpr MEMBERID member_nil = -1;
constexpr HREFTYPE href_default_interface = 0;
constexpr HREFTYPE href_idispatch = 1;

void set_bstr(BSTR* out, std::u16string_view text) {
    if (out) *out = make_bstr(text).release();
}

// One allocation that holds a FUNCDESC and everything it points to.
struct funcdesc_block {
    FUNCDESC desc{};
    ELEMDESC params[16]{};
    TYPEDESC pointees[17]{};
};

void describe_type(const param& p, TYPEDESC& td, TYPEDESC& pointee) {
    if (p.byref) {
        td.vt = VT_PTR;
        td.lptdesc = &pointee;
        pointee.vt = p.vt;
    } else {
        td.vt = p.vt;
    }
}

class interface_type_info final : public implements<interface_type_info, ITypeInfo> {
public:
    static constexpr std::u16string_view class_name = u"TypeInfo";
    interface_type_info(const library_desc* lib, const interface_desc* iface, const coclass_desc* coclass)
        : lib_(lib), iface_(iface), coclass_(coclass) {}

    HRESULT STDMETHODCALLTYPE GetTypeAttr(TYPEATTR** out) override {
        if (!out) return E_POINTER;
        auto attr = std::make_unique<TYPEATTR>();
        attr->guid = coclass_ ? coclass_->clsid : iface_->iid;
        attr->lcid = lib_ ? lib_->lcid : 0;
        attr->memidConstructor = member_nil;
        attr->memidDestructor = member_nil;
        attr->typekind = coclass_ ? TKIND_COCLASS : TKIND_DISPATCH;
        attr->cFuncs = coclass_ ? 0 : static_cast<WORD>(iface_->members.size());
        attr->cImplTypes = 1;
        attr->cbSizeVft = coclass_ ? 0 : static_cast<WORD>((7 + iface_->members.size()) * sizeof(void*));
        attr->cbAlignment = alignof(void*);
        attr->wTypeFlags = coclass_ ? coclass_->type_flags : iface_->type_flags;
        attr->wMajorVerNum = lib_ ? lib_->major : 0;
        attr->wMinorVerNum = lib_ ? lib_->minor : 0;
        *out = attr.release();
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

    HRESULT STDMETHODCALLTYPE GetFuncDesc(UINT index, FUNCDESC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (coclass_ || index >= iface_->members.size()) return TYPE_E_ELEMENTNOTFOUND;
        const member& m = iface_->members[index];
        if (m.params.size() > 16) return E_UNEXPECTED;
        auto block = std::make_unique<funcdesc_block>();
        FUNCDESC& fd = block->desc;
        fd.memid = m.id;
        fd.funckind = FUNC_DISPATCH;
        fd.invkind = static_cast<INVOKEKIND>(m.kind);
        fd.callconv = CC_STDCALL;
        fd.cParams = static_cast<SHORT>(m.params.size());
        fd.oVft = static_cast<SHORT>((7 + index) * sizeof(void*));
        fd.lprgelemdescParam = block->params;
        for (std::size_t i = 0; i < m.params.size(); ++i) {
            describe_type(m.params[i], block->params[i].tdesc, block->pointees[i]);
            block->params[i].paramdesc.wParamFlags = PARAMFLAG_FIN | (m.params[i].byref ? PARAMFLAG_FOUT : 0) |
                                                     (m.params[i].optional ? PARAMFLAG_FOPT : 0);
            if (m.params[i].optional) ++fd.cParamsOpt;
        }
        if (m.vararg) fd.cParamsOpt = -1;  // the last parameter takes the rest
        if (m.has_result) {
            block->desc.elemdescFunc.tdesc.vt = m.result.vt;
        } else {
            block->desc.elemdescFunc.tdesc.vt = VT_VOID;
        }
        *out = &block.release()->desc;
        return S_OK;
    }
    void STDMETHODCALLTYPE ReleaseFuncDesc(FUNCDESC* desc) override {
        delete reinterpret_cast<funcdesc_block*>(desc);
    }

    HRESULT STDMETHODCALLTYPE GetNames(MEMBERID id, BSTR* names, UINT max, UINT* count) override {
        return call([&]() -> HRESULT {
            if (!names || !count) return E_POINTER;
            *count = 0;
            const member* m = coclass_ ? nullptr : iface_->first_with_id(id);
            if (!m) return TYPE_E_ELEMENTNOTFOUND;
            // A put's argument has no name of its own.
            const bool is_put = m->kind == member_kind::put || m->kind == member_kind::putref;
            std::vector<std::u16string_view> all{m->name};
            if (!is_put)
                for (const param& p : m->params) all.push_back(p.name);
            for (std::size_t i = 0; i < all.size() && *count < max; ++i) names[(*count)++] = make_bstr(all[i]).release();
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeOfImplType(UINT index, HREFTYPE* out) override {
        if (!out) return E_POINTER;
        if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *out = coclass_ ? href_default_interface : href_idispatch;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetImplTypeFlags(UINT index, INT* flags) override {
        if (!flags) return E_POINTER;
        if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
        *flags = coclass_ ? IMPLTYPEFLAG_FDEFAULT : 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
        if (coclass_) return DISP_E_UNKNOWNNAME;
        return ids_of_names(*iface_, names, count, ids);
    }
    HRESULT STDMETHODCALLTYPE GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, DWORD* context,
                                               BSTR* help) override {
        return call([&]() -> HRESULT {
            if (doc) *doc = nullptr;
            if (help) *help = nullptr;
            if (context) *context = 0;
            if (id == member_nil) {
                set_bstr(name, coclass_ ? coclass_->name : iface_->name);
                return S_OK;
            }
            const member* m = coclass_ ? nullptr : iface_->first_with_id(id);
            if (!m) return TYPE_E_ELEMENTNOTFOUND;
            set_bstr(name, m->name);
            return S_OK;
        });
    }
    HRESULT STDMETHODCALLTYPE GetRefTypeInfo(HREFTYPE href, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (coclass_ && href == href_default_interface && coclass_->default_interface)
            return make_type_info(lib_, coclass_->default_interface, out);
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetContainingTypeLib(ITypeLib** out, UINT* index) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (!lib_) return TYPE_E_ELEMENTNOTFOUND;
        for (std::size_t i = 0; i < lib_->types.size(); ++i) {
            const auto& e = lib_->types[i];
            if ((coclass_ && e.coclass == coclass_) || (!coclass_ && e.iface == iface_)) {
                if (index) *index = static_cast<UINT>(i);
                return make_type_lib(lib_, out);
            }
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }

    // Slots of the standard layout that these descriptions have nothing for: no variables,
    // no binding tables, no module entries, no instances made from type information.
    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** out) override { return not_offered(out); }
    HRESULT STDMETHODCALLTYPE GetVarDesc(UINT, VARDESC** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return TYPE_E_ELEMENTNOTFOUND;
    }
    void STDMETHODCALLTYPE ReleaseVarDesc(VARDESC*) override {}
    HRESULT STDMETHODCALLTYPE Invoke(void*, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE GetDllEntry(MEMBERID, INVOKEKIND, BSTR* dll, BSTR* name, WORD* ordinal) override {
        if (dll) *dll = nullptr;
        if (name) *name = nullptr;
        if (ordinal) *ordinal = 0;
        return TYPE_E_BADMODULEKIND;
    }
    HRESULT STDMETHODCALLTYPE AddressOfMember(MEMBERID, INVOKEKIND, void** out) override { return not_offered(out); }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown*, REFIID, void** out) override { return not_offered(out); }
    HRESULT STDMETHODCALLTYPE GetMops(MEMBERID, BSTR* out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }

private:
    template <class T> static HRESULT not_offered(T** out) noexcept {
        if (!out) return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }

    const library_desc* lib_;
    const interface_desc* iface_;
    const coclass_desc* coclass_;
};

class type_lib final : public implements<type_lib, ITypeLib> {
public:
    static constexpr std::u16string_view class_name = u"TypeLib";
    explicit type_lib(const library_desc* lib) : lib_(lib) {}

    UINT STDMETHODCALLTYPE GetTypeInfoCount() override { return static_cast<UINT>(lib_->types.size()); }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (index >= lib_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
        const auto& e = lib_->types[index];
        return e.coclass ? make_coclass_type_info(lib_, e.coclass, out) : make_type_info(lib_, e.iface, out);
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoType(UINT index, TYPEKIND* kind) override {
        if (!kind) return E_POINTER;
        if (index >= lib_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
        *kind = lib_->types[index].coclass ? TKIND_COCLASS : TKIND_DISPATCH;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoOfGuid(REFGUID guid, ITypeInfo** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        for (UINT i = 0; i < lib_->types.size(); ++i) {
            const auto& e = lib_->types[i];
            if ((e.coclass && e.coclass->clsid == guid) || (e.iface && e.iface->iid == guid)) return GetTypeInfo(i, out);
        }
        return TYPE_E_ELEMENTNOTFOUND;
    }
    HRESULT STDMETHODCALLTYPE GetLibAttr(TLIBATTR** out) override {
        if (!out) return E_POINTER;
        *out = new (std::nothrow) TLIBATTR{lib_->libid, lib_->lcid, SYS_WIN64, lib_->major, lib_->minor, 0};
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    void STDMETHODCALLTYPE ReleaseTLibAttr(TLIBATTR* attr) override { delete attr; }
    HRESULT STDMETHODCALLTYPE GetDocumentation(INT index, BSTR* name, BSTR* doc, DWORD* context, BSTR* help) override {
        return call([&]() -> HRESULT {
            if (doc) *doc = nullptr;
            if (help) *help = nullptr;
            if (context) *context = 0;
            if (index == -1) {
                set_bstr(name, lib_->name);
                return S_OK;
            }
            if (index < 0 || static_cast<std::size_t>(index) >= lib_->types.size()) return TYPE_E_ELEMENTNOTFOUND;
            const auto& e = lib_->types[static_cast<std::size_t>(index)];
            set_bstr(name, e.coclass ? e.coclass->name : e.iface->name);
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE GetTypeComp(ITypeComp** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE IsName(LPOLESTR name, ULONG, BOOL* found) override {
        if (!name || !found) return E_POINTER;
        *found = find_name(name).first != nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE FindName(LPOLESTR name, ULONG, ITypeInfo** infos, MEMBERID* ids,
                                       USHORT* count) override {
        if (!name || !infos || !ids || !count) return E_POINTER;
        if (*count == 0) return S_OK;
        auto [iface, m] = find_name(name);
        *count = 0;
        if (!iface) return S_OK;
        if (HRESULT hr = make_type_info(lib_, iface, &infos[0]); FAILED(hr)) return hr;
        ids[0] = m ? m->id : member_nil;
        *count = 1;
        return S_OK;
    }

private:
    // The interface that has the name as its own or as a member's, without regard to case.
    std::pair<const interface_desc*, const member*> find_name(LPOLESTR name) const noexcept {
        const std::u16string_view wanted = view_z(name);
        for (const auto& e : lib_->types) {
            if (!e.iface) continue;
            if (same_name(e.iface->name, wanted)) return {e.iface, nullptr};
            if (const member* m = e.iface->member_of_name(wanted)) return {e.iface, m};
        }
        return {nullptr, nullptr};
    }

    const library_desc* lib_;
};

template <class Make> HRESULT hand_out(Make&& make, void** out) noexcept {
    try {
        *out = make().detach();
        return S_OK;
    } catch (const std::bad_alloc&) {
        *out = nullptr;
        return E_OUTOFMEMORY;
    }
}

}  // namespace

HRESULT make_type_info(const library_desc* library, const interface_desc* iface, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    return hand_out([&] { return make_self<interface_type_info>(library, iface, nullptr); },
                    reinterpret_cast<void**>(out));
}

HRESULT make_coclass_type_info(const library_desc* library, const coclass_desc* coclass, ITypeInfo** out) noexcept {
    if (!out) return E_POINTER;
    return hand_out([&] { return make_self<interface_type_info>(library, nullptr, coclass); },
                    reinterpret_cast<void**>(out));
}

HRESULT make_type_lib(const library_desc* library, ITypeLib** out) noexcept {
    if (!out) return E_POINTER;
    if (!library) return TYPE_E_ELEMENTNOTFOUND;
    return hand_out([&] { return make_self<type_lib>(library); }, reinterpret_cast<void**>(out));
}

}  // namespace oa::disp
