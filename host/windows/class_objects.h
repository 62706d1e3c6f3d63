// The component's class objects, passed through class objects of the host's own for the
// run. An engine that keeps a class object it was given (the engines under Wine keep the
// one behind CreateObject) then keeps the host's, so that the component's own count of
// objects and locks (DllCanUnloadNow) still tells whether the script left one alive.
#pragma once

#include <oa/com_ptr.h>
#include <oleauto.h>

#include <initializer_list>
#include <vector>

namespace q2mrhost::windows {

class class_forwarder;

class forwarded_classes {
public:
    // Classes whose library is not registered are left as they are.
    explicit forwarded_classes(std::initializer_list<CLSID> classes);
    // Revokes the host's class objects and gives the library's back.
    ~forwarded_classes();
    forwarded_classes(const forwarded_classes&) = delete;
    forwarded_classes& operator=(const forwarded_classes&) = delete;

private:
    struct entry {
        oa::com_ptr<class_forwarder> forwarder;
        DWORD cookie = 0;
    };
    std::vector<entry> entries_;
};

}  // namespace q2mrhost::windows
