#include "app/appcontroller.h"

// Placeholder until the windows exist.
AppController::AppController() = default;
AppController::~AppController() = default;
void AppController::showLogin() {}
void AppController::onLogoutRequested() {}
