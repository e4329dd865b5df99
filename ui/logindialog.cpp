#include "ui/logindialog.h"

#include "api/apiclient.h"
#include "api/clientsettings.h"
#include "ui/messagebox.h"
#include "ui/registerdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The user name of the last successful sign-in; a password is never kept.
const QString RememberedNameKey = QStringLiteral("login/username");

} // namespace

LoginDialog::LoginDialog(ApiClient *api, QWidget *parent)
    : QDialog(parent)
    , api(api)
    , usernameEdit(new QLineEdit(this))
    , passwordEdit(new QLineEdit(this))
    , loginButton(new QPushButton(QStringLiteral("Belépés"), this))
    , registerLink(new QLabel(QStringLiteral("<a href=\"reg\">Regisztráció</a>"), this))
{
    setWindowTitle(QStringLiteral("Bejelentkezés"));
    setFixedSize(320, 200);

    auto *heading = new QLabel(QStringLiteral("Orvantis"), this);
    heading->setStyleSheet(QStringLiteral("font-size: 20px; font-weight: bold;"));

    usernameEdit->setObjectName(QStringLiteral("usernameEdit"));
    usernameEdit->setPlaceholderText(QStringLiteral("Felhasználónév"));
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setPlaceholderText(QStringLiteral("Jelszó"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    usernameEdit->setText(clientSettings().value(RememberedNameKey).toString());
    if (!usernameEdit->text().isEmpty())
        passwordEdit->setFocus();

    loginButton->setObjectName(QStringLiteral("loginButton"));
    loginButton->setAutoDefault(true);
    loginButton->setDefault(true);

    registerLink->setObjectName(QStringLiteral("registerLink"));
    registerLink->setTextFormat(Qt::RichText);
    registerLink->setTextInteractionFlags(Qt::TextBrowserInteraction);
    registerLink->setOpenExternalLinks(false);
    // Set after the interaction flags, which would give the label focus.
    registerLink->setFocusPolicy(Qt::NoFocus);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addWidget(usernameEdit);
    layout->addWidget(passwordEdit);
    layout->addWidget(loginButton);
    layout->addWidget(registerLink, 0, Qt::AlignHCenter);

    // Enter in either field reaches the default button through the dialog.
    // Connecting the fields' returnPressed as well would start a second
    // attempt (and show a second warning) for the same key press.
    connect(loginButton, &QPushButton::clicked, this, &LoginDialog::attemptLogin);
    connect(registerLink, &QLabel::linkActivated, this, &LoginDialog::openRegistration);
    connect(api, &ApiClient::loginOk, this, &LoginDialog::onLoginOk);
    connect(api, &ApiClient::loginError, this, &LoginDialog::onLoginError);
}

QString LoginDialog::token() const
{
    return grantedToken;
}

QString LoginDialog::role() const
{
    return grantedRole;
}

QString LoginDialog::keresztnev() const
{
    return grantedKeresztnev;
}

QString LoginDialog::username() const
{
    return attemptUsername;
}

void LoginDialog::attemptLogin()
{
    if (busy)
        return;
    attemptUsername = usernameEdit->text().trimmed();
    const QString password = passwordEdit->text();
    if (attemptUsername.isEmpty() || password.isEmpty()) {
        showWarning(
            this, QStringLiteral("Hiba"), QStringLiteral("Add meg a felhasználónevet és jelszót."));
        return;
    }
    setBusy(true);
    attemptPassword = password;
    fallbackTried = false;
    api->login(attemptUsername, attemptPassword);
}

void LoginDialog::onLoginOk(const QString &token, const QString &role, const QString &keresztnev)
{
    api->setToken(token);
    grantedToken = token;
    grantedRole = role;
    grantedKeresztnev = keresztnev;
    clientSettings().setValue(RememberedNameKey, attemptUsername);
    setBusy(false);
    accept();
}

void LoginDialog::onLoginError(const QString &message)
{
    if (!fallbackTried && api->baseUrl() != api->origin()) {
        fallbackTried = true;
        api->setBaseUrl(api->origin());
        api->login(attemptUsername, attemptPassword);
        return;
    }
    showWarning(this, QStringLiteral("Hiba"), message);
    setBusy(false);
}

void LoginDialog::openRegistration()
{
    RegisterDialog dialog(api, this);
    connect(&dialog, &RegisterDialog::registered, this, &LoginDialog::onRegistered);
    dialog.exec();
}

void LoginDialog::onRegistered(const QString &username, const QString &password)
{
    usernameEdit->setText(username);
    passwordEdit->setText(password);
    attemptLogin();
}

void LoginDialog::setBusy(bool on)
{
    busy = on;
    loginButton->setEnabled(!on);
    usernameEdit->setEnabled(!on);
    passwordEdit->setEnabled(!on);
}
