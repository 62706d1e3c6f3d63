// The Windows backend. Until the forms are drawn as windows, a modal show answers as a
// window that the person closed, and a message box as dismissed.
#include "backend_impl.h"

namespace forms::detail {

namespace {
class WindowsBackend : public BackendImpl {
public:
    void run_modal(Form& form) override {
        report_no_display(form.caption, "the forms are not drawn as windows yet");
        form.close();
    }
    int message_box(const std::u16string&, int, const std::u16string& title) override {
        report_no_display(title, "the forms are not drawn as windows yet");
        return vbOK;
    }
};
}  // namespace

BackendImpl& system_backend() {
    static WindowsBackend b;
    return b;
}

}  // namespace forms::detail
