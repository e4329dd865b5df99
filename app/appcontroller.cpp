#include "app/appcontroller.h"

#include "api/clientsettings.h"
#include "ui/logindialog.h"
#include "ui/mainwindow.h"
#include "ui/messagebox.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#include <utility>

namespace {

// Queued, so that it also ends a run whose event loop has not started yet
// (the first login dialog may be cancelled before it does).
void quitApplication()
{
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), &QCoreApplication::quit, Qt::QueuedConnection);
}

} // namespace

AppController::AppController(const QString &origin, const QString &authorityFile)
    : api(origin)
{
    api.setOriginAuthorities(authorityFile);
    api.setBaseUrl(origin);
    clientSettings().setValue(QStringLiteral("api/base_url"), origin);
    connect(api.sessionNotifier(), &SessionNotifier::sessionExpired, this,
        &AppController::onSessionExpired);
    showLogin();
}

AppController::~AppController()
{
    delete mainWindow;
}

bool AppController::eventFilter(QObject *watched, QEvent *event)
{
    // Nothing else would end the program when the main window is closed by
    // its frame: quitting on the last closed window is off.
    if (watched == mainWindow && event->type() == QEvent::Close)
        quitApplication();
    return QObject::eventFilter(watched, event);
}

void AppController::showLogin()
{
    LoginDialog dialog(&api);
    if (dialog.exec() != QDialog::Accepted) {
        quitApplication();
        return;
    }
    api.setToken(dialog.token());
    mainWindow = new MainWindow(&api, dialog.username(), dialog.role(), dialog.keresztnev());
    mainWindow->installEventFilter(this);
    connect(mainWindow, &MainWindow::logoutRequested, this, &AppController::onLogoutRequested);
    mainWindow->show();
}

void AppController::onLogoutRequested()
{
    // A repeated signal from the window already on its way out must not
    // queue a second login dialog.
    MainWindow *window = std::exchange(mainWindow, nullptr);
    if (!window)
        return;
    api.setToken(QString());
    if (std::exchange(sessionExpired, false))
        showWarning(window, QStringLiteral("Hiba"),
            QStringLiteral("A munkamenet lejárt. Jelentkezz be újra."));
    // Hiding sends no close event, so this does not end the program.
    window->hide();
    window->deleteLater();
    // From the event loop, after the window's handler that emitted the
    // signal has returned.
    QTimer::singleShot(0, this, &AppController::showLogin);
}

// The window cannot go at once: its dialogs may be running nested event
// loops on its stack. It closes them and then asks for the logout itself.
void AppController::onSessionExpired()
{
    if (!mainWindow || sessionExpired)
        return;
    sessionExpired = true;
    api.setToken(QString());
    mainWindow->endSession();
}
