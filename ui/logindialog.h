#pragma once

#include <QDialog>
#include <QString>

class ApiClient;
class QLabel;
class QLineEdit;
class QPushButton;

// Signs a user in. Ends accepted after a successful login; the results are
// then available through token(), role(), keresztnev() and username().
class LoginDialog : public QDialog {
    Q_OBJECT

public:
    explicit LoginDialog(ApiClient *api, QWidget *parent = nullptr);

    QString token() const;
    QString role() const;
    QString keresztnev() const;
    // The trimmed user name of the last attempt.
    QString username() const;

private:
    void attemptLogin();
    void onLoginOk(const QString &token, const QString &role, const QString &keresztnev);
    void onLoginError(const QString &message);
    void openRegistration();
    void onRegistered(const QString &username, const QString &password);
    void setBusy(bool on);

    ApiClient *api;
    QLineEdit *usernameEdit;
    QLineEdit *passwordEdit;
    QPushButton *loginButton;
    QLabel *registerLink;
    QString grantedToken;
    QString grantedRole;
    QString grantedKeresztnev;
    QString attemptUsername;
    bool fallbackTried = false;
    bool busy = false;
    QString attemptPassword;
};
