// The component's login window: asks the person at the workstation for a
// user name and a password. It only insists that neither is empty; Login
// judges the credentials.
#pragma once

#include <string>

#include "forms/forms.h"

class mrLoginDialog {
public:
    mrLoginDialog();
    mrLoginDialog(const mrLoginDialog&) = delete;
    mrLoginDialog& operator=(const mrLoginDialog&) = delete;

    // Puts uname into the user-name box; called before Show.
    void setNameField(const std::u16string& uname);
    // Modal: returns once the dialog is hidden (OK, Cancel) or closed.
    void Show();

    std::u16string username;
    std::u16string Password;
    bool LoginSucceeded = false;

    // The form comes first: the controls below belong to it.
    forms::Form form;
    forms::ControlArray<forms::Label> lblLabels;
    forms::TextBox txtPassword;
    forms::CommandButton cmdOK;
    forms::CommandButton cmdCancel;
    forms::TextBox txtUserName;

private:
    void cmdOK_Click();
    void cmdCancel_Click();
    void rejectField(forms::TextBox& box, const std::u16string& message);
};
