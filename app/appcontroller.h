#pragma once

#include "api/apiclient.h"
#include "api/serverorigin.h"

#include <QObject>

class MainWindow;

// Runs the cycle login dialog, main window, logout, login dialog again. It
// owns the one ApiClient of the process and the current main window.
class AppController : public QObject {
    Q_OBJECT

public:
    // The authorities in the PEM file are trusted, besides the system's, on
    // the requests to the origin.
    explicit AppController(
        const QString &origin = DefaultServerOrigin, const QString &authorityFile = QString());
    ~AppController() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void showLogin();
    void onLogoutRequested();
    void onSessionExpired();

    ApiClient api;
    MainWindow *mainWindow = nullptr;
    bool sessionExpired = false;
};
