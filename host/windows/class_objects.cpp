#include <host/windows/class_objects.h>

#include <oa/implements.h>

namespace q2mrhost::windows {

class class_forwarder final : public oa::implements<class_forwarder, IClassFactory> {
public:
    static constexpr std::u16string_view class_name = u"ClassForwarder";
    explicit class_forwarder(oa::com_ptr<IClassFactory> library) : library_(std::move(library)) {}

    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        return library_ ? library_->CreateInstance(outer, iid, object) : CO_E_SERVER_STOPPING;
    }
    // The library stays loaded while the forwarder holds its class object.
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

    void drop() noexcept { library_ = nullptr; }

private:
    oa::com_ptr<IClassFactory> library_;
};

forwarded_classes::forwarded_classes(std::initializer_list<CLSID> classes) {
    for (const CLSID& clsid : classes) {
        oa::com_ptr<IClassFactory> library;
        if (FAILED(CoGetClassObject(clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory, library.put_void())))
            continue;
        entry e{oa::make_self<class_forwarder>(std::move(library))};
        if (FAILED(CoRegisterClassObject(clsid, static_cast<IClassFactory*>(e.forwarder.get()), CLSCTX_INPROC_SERVER,
                                         REGCLS_MULTIPLEUSE, &e.cookie)))
            e.forwarder->drop();
        else
            entries_.push_back(std::move(e));
    }
}

forwarded_classes::~forwarded_classes() {
    for (entry& e : entries_) {
        CoRevokeClassObject(e.cookie);
        e.forwarder->drop();
    }
}

}  // namespace q2mrhost::windows
