#pragma once

#include "api/userrow.h"

#include <QDialog>
#include <QList>
#include <QString>

class ApiClient;
class QPushButton;
class QTableWidget;

// The account list for an administrator. Editing is unlocked by typing the
// admin password again; a save sends one update per account plus one password
// request per filled password cell and reports once when every reply is in.
class UsersDialog : public QDialog {
    Q_OBJECT

public:
    UsersDialog(ApiClient *api, const QString &ownUserName, QWidget *parent = nullptr);

    void fillTable(const QList<UserRow> &users);
    void applyChanges();
    void completeSaveStep(bool failed, const QString &message);

private slots:
    void onUserUpdateOk(const QString &username);
    void onUserUpdateError(const QString &username, const QString &message);
    void onPasswordResetOk(const QString &username);
    void onPasswordResetError(const QString &username, const QString &message);

private:
    // The password of a renamed account, sent under the new name once the
    // rename has gone through.
    struct DeferredPassword {
        QString oldName;
        QString newName;
        QString password;
    };

    void connectApi();
    void askAdminPassword();
    void enterEditMode();
    void leaveEditMode();
    void showError(const QString &message);
    QString cellText(int row, int column) const;
    bool takeDeferredPassword(const QString &oldName, DeferredPassword *deferred);

    ApiClient *api;
    QTableWidget *table;
    QPushButton *editButton;
    QPushButton *acceptButton;
    bool editing = false;
    QString ownUserName;
    qint32 pending = 0;
    bool failed = false;
    bool saving = false;
    QList<DeferredPassword> deferredPasswords;
};
