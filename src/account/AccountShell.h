#pragma once

#include "window/ShellServices.h"

// The account as the main window sees it: installed by main() before the
// main window controller exists.
class AccountShell : public AccountServices {
public:
    void autoLogin() override;
    bool hasLogined() const override;
    void logout() override;
    void showLoginPanel() override;
};
