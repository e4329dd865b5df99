#include "ui/usersdialog.h"

#include "api/apiclient.h"
#include "ui/messagebox.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

enum Column {
    NameColumn,
    SurnameColumn,
    FirstNameColumn,
    RoleColumn,
    EmailColumn,
    PasswordColumn,
    ColumnCount
};

const QString DefaultRole = QStringLiteral("user");

QTableWidgetItem *cellItem(const QString &text, bool editable)
{
    auto *item = new QTableWidgetItem(text);
    if (!editable)
        item->setFlags(item->flags() & ~Qt::ItemIsEditable);
    return item;
}

// A typed password is masked like in any password field: while it is edited
// and afterwards in its cell. The item keeps the text that is sent.
class PasswordDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QString displayText(const QVariant &value, const QLocale &) const override
    {
        const auto *view = qobject_cast<const QWidget *>(parent());
        const QStyle *style = view ? view->style() : nullptr;
        const QChar mask = style ? QChar(style->styleHint(QStyle::SH_LineEdit_PasswordCharacter))
                                 : QLatin1Char('*');
        return QString(value.toString().size(), mask);
    }

    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
        const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setEchoMode(QLineEdit::Password);
        return editor;
    }
};

} // namespace

UsersDialog::UsersDialog(ApiClient *api, const QString &ownUserName, QWidget *parent)
    : QDialog(parent)
    , api(api)
    , table(new QTableWidget(0, ColumnCount, this))
    , editButton(new QPushButton(QStringLiteral("Szerkesztés"), this))
    , acceptButton(new QPushButton(QStringLiteral("Elfogadás"), this))
    , ownUserName(ownUserName)
{
    setWindowTitle(QStringLiteral("Felhasználók kezelése"));
    resize(850, 450);

    table->setObjectName(QStringLiteral("usersTable"));
    editButton->setObjectName(QStringLiteral("editButton"));
    acceptButton->setObjectName(QStringLiteral("acceptButton"));
    // Enter finishes a cell edit; it must not also press a button.
    editButton->setAutoDefault(false);
    acceptButton->setAutoDefault(false);

    auto *buttonRow = new QHBoxLayout;
    buttonRow->addWidget(editButton);
    buttonRow->addWidget(acceptButton);
    buttonRow->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addLayout(buttonRow);

    table->setHorizontalHeaderLabels({QStringLiteral("Felhasználónév"),
        QStringLiteral("Vezetéknév"), QStringLiteral("Keresztnév"), QStringLiteral("Szerepkör"),
        QStringLiteral("Email"), QStringLiteral("Jelszó")});
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setItemDelegateForColumn(PasswordColumn, new PasswordDelegate(table));
    acceptButton->setEnabled(false);

    connectApi();
    connect(editButton, &QPushButton::clicked, this, &UsersDialog::askAdminPassword);
    connect(acceptButton, &QPushButton::clicked, this, &UsersDialog::applyChanges);
    api->fetchUsers();
}

void UsersDialog::connectApi()
{
    connect(api, &ApiClient::usersOk, this, &UsersDialog::fillTable);
    connect(api, &ApiClient::usersError, this, &UsersDialog::showError);
    connect(api, &ApiClient::adminWriteOk, this, [this] { api->fetchUsers(); });
    connect(api, &ApiClient::adminWriteError, this, &UsersDialog::showError);
    connect(api, &ApiClient::adminReauthOk, this, &UsersDialog::enterEditMode);
    connect(api, &ApiClient::adminReauthError, this, &UsersDialog::showError);
    connect(api, &ApiClient::userUpdateOk, this, &UsersDialog::onUserUpdateOk);
    connect(api, &ApiClient::userUpdateError, this, &UsersDialog::onUserUpdateError);
    connect(api, &ApiClient::passwordResetOk, this, &UsersDialog::onPasswordResetOk);
    connect(api, &ApiClient::passwordResetError, this, &UsersDialog::onPasswordResetError);
}

void UsersDialog::fillTable(const QList<UserRow> &users)
{
    table->setRowCount(int(users.size()));
    for (int row = 0; row < int(users.size()); ++row) {
        const UserRow &u = users.at(row);
        const bool ownRow = u.felhasznalonev == ownUserName;
        const bool editable = editing;
        const bool ownFieldsEditable = editing && !ownRow;

        QTableWidgetItem *name = cellItem(u.felhasznalonev, ownFieldsEditable);
        name->setData(Qt::UserRole, u.felhasznalonev);
        table->setItem(row, NameColumn, name);
        table->setItem(row, SurnameColumn, cellItem(u.vezeteknev, editable));
        table->setItem(row, FirstNameColumn, cellItem(u.keresztnev, editable));

        auto *roleBox = new QComboBox;
        roleBox->addItems({DefaultRole, QStringLiteral("editor"), QStringLiteral("admin")});
        roleBox->setCurrentText(u.szerepkor);
        roleBox->setEnabled(ownFieldsEditable);
        table->setCellWidget(row, RoleColumn, roleBox);

        table->setItem(row, EmailColumn, cellItem(u.email, editable));
        table->setItem(row, PasswordColumn,
            cellItem(editing ? QString() : QStringLiteral("********"), ownFieldsEditable));
    }
}

void UsersDialog::askAdminPassword()
{
    bool ok = false;
    const QString password = QInputDialog::getText(this, QStringLiteral("Admin jelszó"),
        QStringLiteral("Add meg az admin jelszót:"), QLineEdit::Password, QString(), &ok);
    if (ok)
        api->adminReauth(password);
}

void UsersDialog::enterEditMode()
{
    editing = true;
    // A batch still in flight keeps the button until its last reply.
    acceptButton->setEnabled(!saving);
    table->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
    api->fetchUsers();
}

void UsersDialog::leaveEditMode()
{
    editing = false;
    acceptButton->setEnabled(false);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    api->fetchUsers();
}

QString UsersDialog::cellText(int row, int column) const
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text().trimmed() : QString();
}

void UsersDialog::applyChanges()
{
    acceptButton->setEnabled(false);
    pending = 0;
    failed = false;
    saving = true;
    deferredPasswords.clear();

    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem *nameItem = table->item(row, NameColumn);
        if (!nameItem)
            continue;
        const QString oldName = nameItem->data(Qt::UserRole).toString();
        const QString newName = nameItem->text().trimmed();
        if (oldName.isEmpty() || newName.isEmpty())
            continue;
        const QString password = cellText(row, PasswordColumn);
        QString role = DefaultRole;
        if (auto *roleBox = qobject_cast<QComboBox *>(table->cellWidget(row, RoleColumn)))
            role = roleBox->currentText();

        ++pending;
        const bool renamedWithPassword = newName != oldName && !password.isEmpty();
        if (renamedWithPassword) {
            // Counted now, sent once the rename has succeeded: sent at once, it
            // could race the rename or set the password of another account
            // that already bears the new name.
            ++pending;
            deferredPasswords.append({oldName, newName, password});
        }
        api->updateUser(oldName, newName, cellText(row, SurnameColumn),
            cellText(row, FirstNameColumn), cellText(row, EmailColumn), role);
        if (!password.isEmpty() && !renamedWithPassword) {
            ++pending;
            api->resetUserPassword(newName, password);
        }
    }

    if (pending == 0) {
        saving = false;
        acceptButton->setEnabled(true);
        showInformation(this, QStringLiteral("Info"), QStringLiteral("Nincs menthető változás."));
    }
}

void UsersDialog::completeSaveStep(bool stepFailed, const QString &message)
{
    if (!saving)
        return;
    if (stepFailed) {
        failed = true;
        if (!message.isEmpty())
            showError(message);
    }
    if (--pending >= 1)
        return;

    saving = false;
    if (failed) {
        acceptButton->setEnabled(true);
        return;
    }
    showInformation(this, QStringLiteral("Siker"), QStringLiteral("Mentés kész."));
    leaveEditMode();
}

bool UsersDialog::takeDeferredPassword(const QString &oldName, DeferredPassword *deferred)
{
    for (int i = 0; i < deferredPasswords.size(); ++i) {
        if (deferredPasswords.at(i).oldName == oldName) {
            *deferred = deferredPasswords.takeAt(i);
            return true;
        }
    }
    return false;
}

void UsersDialog::onUserUpdateOk(const QString &username)
{
    DeferredPassword deferred;
    if (saving && takeDeferredPassword(username, &deferred))
        api->resetUserPassword(deferred.newName, deferred.password);
    completeSaveStep(false, QString());
}

void UsersDialog::onUserUpdateError(const QString &username, const QString &message)
{
    DeferredPassword deferred;
    // The password step of a failed rename is never sent: it fails silently,
    // the rename's own warning says what went wrong.
    if (saving && takeDeferredPassword(username, &deferred))
        completeSaveStep(true, QString());
    completeSaveStep(true, message);
}

void UsersDialog::onPasswordResetOk(const QString &)
{
    completeSaveStep(false, QString());
}

void UsersDialog::onPasswordResetError(const QString &, const QString &message)
{
    completeSaveStep(true, message);
}

void UsersDialog::showError(const QString &message)
{
    showWarning(this, QStringLiteral("Hiba"), message);
}
