#pragma once

#include "server/storage/userrecord.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <optional>

class QSqlQuery;

// The SQLite store of compounds, their details and images, and accounts.
// Every statement is prepared with bound values. Writes that check and then
// change run inside one transaction.
class Database {
public:
    enum class WriteResult { Ok, NotFound, Duplicate, LastAdmin, Failed };

    // The six text keys of a compound and the ten of its details, in the
    // order the value lists of this class use.
    static const QStringList &compoundKeys();
    static const QStringList &detailKeys();

    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    bool open(const QString &path);
    QString errorText() const;
    // Writes a consistent copy of the database to a new file that only its
    // owner may read, also while another process writes to the database;
    // never over an existing file. An error text, or empty on success.
    QString backupTo(const QString &path);
    bool hasCompounds();

    QJsonArray compounds();
    QJsonArray search(const QString &foldedQuery, int limit);
    WriteResult insertCompound(const QStringList &values);
    WriteResult updateCompound(const QString &kod, const QStringList &values);
    WriteResult deleteCompound(const QString &kod);
    // imageOrigin is put in front of every image path.
    std::optional<QJsonObject> details(const QString &kod, const QString &imageOrigin);
    WriteResult saveDetails(const QString &kod, const QStringList &values);
    WriteResult addImage(
        const QString &kod, const QString &fileName, const QString &caption, int order);

    std::optional<UserRecord> userByName(const QString &name);
    std::optional<UserRecord> userById(qint64 id);
    QJsonArray users();
    WriteResult insertUser(const UserRecord &user);
    // Replaces names, e-mail and role of the account called oldName.
    WriteResult updateUser(const QString &oldName, const UserRecord &data);
    WriteResult setPasswordHash(const QString &name, const QByteArray &hash);
    WriteResult setRole(const QString &name, const QString &role);

private:
    bool createSchema();
    bool exec(QSqlQuery &query);
    bool compoundExists(const QString &kod);
    bool nameTaken(const QString &name, qint64 exceptId);
    bool wouldLeaveNoAdmin(qint64 userId, const QString &newRole);
    WriteResult commitOrFail();
    WriteResult rollbackWith(WriteResult result);

    QString connectionName;
    QString lastError;
};
