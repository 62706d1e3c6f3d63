// The Windows backend. Until the forms are drawn as windows, a modal show answers as a
// window that the person closed, and a message box as dismissed.
#include "backend_impl.h"

namespace forms::detail {

namespace {
class WindowsBackend : public BackendImpl {
public:
    void run_modal(Form& form) override { form.close(); }
    int message_box(const std::u16string&, int, const std::u16string&) override { return vbOK; }
};
}  // namespace

BackendImpl& system_backend() {
    static WindowsBackend b;
    return b;
}

}  // namespace forms::detail
