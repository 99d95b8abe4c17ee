#include "account/AccountShell.h"

#include "account/LoginPanelController.h"
#include "account/MVAuthServer.h"

void AccountShell::autoLogin() { MVAuthServer::sharedInstance().autoLogin(); }
bool AccountShell::hasLogined() const { return MVAuthServer::sharedInstance().hasLogined(); }
void AccountShell::logout() { MVAuthServer::sharedInstance().logout(); }
void AccountShell::showLoginPanel() { LoginPanelController::sharedInstance().showWindow(); }
