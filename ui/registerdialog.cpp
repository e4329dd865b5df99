#include "ui/registerdialog.h"

#include "api/apiclient.h"
#include "ui/messagebox.h"

#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QLineEdit *namedEdit(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}

} // namespace

RegisterDialog::RegisterDialog(ApiClient *api, QWidget *parent)
    : QDialog(parent)
    , api(api)
    , usernameEdit(namedEdit("usernameEdit", this))
    , lastNameEdit(namedEdit("lastNameEdit", this))
    , firstNameEdit(namedEdit("firstNameEdit", this))
    , passwordEdit(namedEdit("passwordEdit", this))
    , emailEdit(namedEdit("emailEdit", this))
    , registerButton(new QPushButton(QStringLiteral("Regisztráció"), this))
{
    setWindowTitle(QStringLiteral("Regisztráció"));
    resize(420, 280);
    passwordEdit->setEchoMode(QLineEdit::Password);
    registerButton->setObjectName(QStringLiteral("registerButton"));

    auto *form = new QFormLayout;
    form->addRow(QStringLiteral("Felhasználónév:"), usernameEdit);
    form->addRow(QStringLiteral("Vezetéknév:"), lastNameEdit);
    form->addRow(QStringLiteral("Keresztnév:"), firstNameEdit);
    form->addRow(QStringLiteral("Jelszó:"), passwordEdit);
    form->addRow(QStringLiteral("Email:"), emailEdit);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(registerButton);

    connect(registerButton, &QPushButton::clicked, this, &RegisterDialog::submit);
    connect(api, &ApiClient::registerOk, this, &RegisterDialog::onRegisterOk);
    connect(api, &ApiClient::registerError, this, &RegisterDialog::onRegisterError);
}

void RegisterDialog::submit()
{
    const QString username = usernameEdit->text().trimmed();
    const QString lastName = lastNameEdit->text().trimmed();
    const QString firstName = firstNameEdit->text().trimmed();
    const QString password = passwordEdit->text();
    const QString email = emailEdit->text().trimmed();
    if (username.isEmpty() || lastName.isEmpty() || firstName.isEmpty() || password.isEmpty()
        || email.isEmpty()) {
        showWarning(
            this, QStringLiteral("Hiba"), QStringLiteral("Minden mező kitöltése kötelező."));
        return;
    }
    setSending(true);
    api->registerUser(username, lastName, firstName, password, email);
}

void RegisterDialog::onRegisterOk()
{
    setSending(false);
    showInformation(this, QStringLiteral("Siker"), QStringLiteral("Sikeres regisztráció."));
    emit registered(usernameEdit->text().trimmed(), passwordEdit->text());
    accept();
}

void RegisterDialog::onRegisterError(const QString &message)
{
    setSending(false);
    showWarning(this, QStringLiteral("Hiba"), message);
}

void RegisterDialog::setSending(bool on)
{
    const QList<QWidget *> controls {
        usernameEdit, lastNameEdit, firstNameEdit, passwordEdit, emailEdit, registerButton};
    for (QWidget *control : controls)
        control->setEnabled(!on);
}
