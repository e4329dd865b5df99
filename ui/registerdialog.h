#pragma once

#include <QDialog>
#include <QString>

class ApiClient;
class QLineEdit;
class QPushButton;

// Creates an account. After a successful registration it hands the new user
// name and password back through registered() and ends accepted.
class RegisterDialog : public QDialog {
    Q_OBJECT

public:
    explicit RegisterDialog(ApiClient *api, QWidget *parent = nullptr);

signals:
    void registered(QString username, QString password);

private:
    void submit();
    void onRegisterOk();
    void onRegisterError(const QString &message);
    void setSending(bool on);

    ApiClient *api;
    QLineEdit *usernameEdit;
    QLineEdit *lastNameEdit;
    QLineEdit *firstNameEdit;
    QLineEdit *passwordEdit;
    QLineEdit *emailEdit;
    QPushButton *registerButton;
};
