#include "server/storage/database.h"

#include "server/storage/searchtext.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QVariant>

namespace {

const int SchemaVersion = 1;

const QStringList SearchableDetailKeys
    = {QStringLiteral("description"), QStringLiteral("cas"), QStringLiteral("ghs"),
        QStringLiteral("storage"), QStringLiteral("density"), QStringLiteral("melting_point"),
        QStringLiteral("boiling_point"), QStringLiteral("solubility"), QStringLiteral("notes")};

QString compoundSearchText(const QStringList &values)
{
    // kod, nev, keplet
    return SearchText::foldFields(values.mid(0, 3));
}

QString detailsSearchText(const QStringList &values)
{
    QStringList searchable;
    const QStringList &keys = Database::detailKeys();
    for (int i = 0; i < keys.size(); ++i) {
        if (SearchableDetailKeys.contains(keys.at(i)))
            searchable.append(values.at(i));
    }
    return SearchText::foldFields(searchable);
}

QJsonObject compoundFromRow(const QSqlQuery &query)
{
    QJsonObject compound;
    const QStringList &keys = Database::compoundKeys();
    for (int i = 0; i < keys.size(); ++i)
        compound.insert(keys.at(i), query.value(i).toString());
    return compound;
}

UserRecord userFromRow(const QSqlQuery &query)
{
    UserRecord user;
    user.id = query.value(0).toLongLong();
    user.felhasznalonev = query.value(1).toString();
    user.vezeteknev = query.value(2).toString();
    user.keresztnev = query.value(3).toString();
    user.email = query.value(4).toString();
    user.szerepkor = query.value(5).toString();
    user.passwordHash = query.value(6).toString().toLatin1();
    return user;
}

const QString UserColumns
    = QStringLiteral("id, felhasznalonev, vezeteknev, keresztnev, email, szerepkor, password_hash");

} // namespace

const QStringList &Database::compoundKeys()
{
    static const QStringList keys = {QStringLiteral("kod"), QStringLiteral("nev"),
        QStringLiteral("keplet"), QStringLiteral("molaris_tomeg"), QStringLiteral("szin"),
        QStringLiteral("halmazallapot")};
    return keys;
}

const QStringList &Database::detailKeys()
{
    static const QStringList keys = {QStringLiteral("description"), QStringLiteral("cas"),
        QStringLiteral("msds_url"), QStringLiteral("ghs"), QStringLiteral("storage"),
        QStringLiteral("density"), QStringLiteral("melting_point"), QStringLiteral("boiling_point"),
        QStringLiteral("solubility"), QStringLiteral("notes")};
    return keys;
}

Database::Database()
    : connectionName(QStringLiteral("orvantis-server"))
{
}

Database::~Database()
{
    {
        QSqlDatabase db = QSqlDatabase::database(connectionName, false);
        if (db.isOpen())
            db.close();
    }
    QSqlDatabase::removeDatabase(connectionName);
}

bool Database::open(const QString &path)
{
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath())) {
        lastError = QStringLiteral("cannot create the folder %1").arg(info.absolutePath());
        return false;
    }
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
    db.setDatabaseName(info.absoluteFilePath());
    db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
    if (!db.open()) {
        lastError = db.lastError().text();
        return false;
    }
    QSqlQuery pragma(db);
    for (const char *statement :
        {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=FULL", "PRAGMA foreign_keys=ON"}) {
        if (!pragma.exec(QLatin1String(statement))) {
            lastError = pragma.lastError().text();
            return false;
        }
    }
    return createSchema();
}

QString Database::errorText() const
{
    return lastError;
}

QString Database::backupTo(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly, QFile::ReadOwner | QFile::WriteOwner))
        return QStringLiteral("cannot create %1: %2").arg(path, file.errorString());
    file.close();
    // VACUUM INTO reads one snapshot of the database and fills an empty file.
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("VACUUM INTO :path"));
    query.bindValue(QStringLiteral(":path"), QFileInfo(path).absoluteFilePath());
    if (exec(query))
        return {};
    file.remove();
    return QStringLiteral("cannot write the backup: %1").arg(lastError);
}

bool Database::createSchema()
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        lastError = query.lastError().text();
        return false;
    }
    const int version = query.value(0).toInt();
    if (version == SchemaVersion)
        return true;
    if (version != 0) {
        lastError = QStringLiteral("unknown database schema version %1").arg(version);
        return false;
    }
    const QStringList statements = {
        QStringLiteral("CREATE TABLE users ("
                       " id INTEGER PRIMARY KEY,"
                       " felhasznalonev TEXT NOT NULL UNIQUE,"
                       " name_key TEXT NOT NULL UNIQUE,"
                       " vezeteknev TEXT NOT NULL,"
                       " keresztnev TEXT NOT NULL,"
                       " email TEXT NOT NULL,"
                       " szerepkor TEXT NOT NULL CHECK (szerepkor IN ('user', 'editor', 'admin')),"
                       " password_hash TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE compounds ("
                       " kod TEXT PRIMARY KEY,"
                       " nev TEXT NOT NULL,"
                       " keplet TEXT NOT NULL,"
                       " molaris_tomeg TEXT NOT NULL,"
                       " szin TEXT NOT NULL,"
                       " halmazallapot TEXT NOT NULL,"
                       " search_text TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE compound_details ("
                       " kod TEXT PRIMARY KEY REFERENCES compounds(kod) ON DELETE CASCADE,"
                       " description TEXT NOT NULL,"
                       " cas TEXT NOT NULL,"
                       " msds_url TEXT NOT NULL,"
                       " ghs TEXT NOT NULL,"
                       " storage TEXT NOT NULL,"
                       " density TEXT NOT NULL,"
                       " melting_point TEXT NOT NULL,"
                       " boiling_point TEXT NOT NULL,"
                       " solubility TEXT NOT NULL,"
                       " notes TEXT NOT NULL,"
                       " search_text TEXT NOT NULL)"),
        QStringLiteral("CREATE TABLE compound_images ("
                       " id INTEGER PRIMARY KEY,"
                       " kod TEXT NOT NULL REFERENCES compounds(kod) ON DELETE CASCADE,"
                       " file_name TEXT NOT NULL,"
                       " caption TEXT NOT NULL,"
                       " sort_order INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX compound_images_kod ON compound_images(kod)"),
        QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion),
    };
    db.transaction();
    for (const QString &statement : statements) {
        if (!query.exec(statement)) {
            lastError = query.lastError().text();
            db.rollback();
            return false;
        }
    }
    return db.commit();
}

bool Database::exec(QSqlQuery &query)
{
    if (query.exec())
        return true;
    lastError = query.lastError().text();
    qWarning("database: %s", qPrintable(lastError));
    return false;
}

Database::WriteResult Database::commitOrFail()
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (db.commit())
        return WriteResult::Ok;
    lastError = db.lastError().text();
    db.rollback();
    return WriteResult::Failed;
}

Database::WriteResult Database::rollbackWith(WriteResult result)
{
    QSqlDatabase::database(connectionName).rollback();
    return result;
}

bool Database::hasCompounds()
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("SELECT EXISTS (SELECT 1 FROM compounds)"));
    return exec(query) && query.next() && query.value(0).toBool();
}

QJsonArray Database::compounds()
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM compounds ORDER BY kod")
                      .arg(compoundKeys().join(QStringLiteral(", "))));
    QJsonArray list;
    if (!exec(query))
        return list;
    while (query.next())
        list.append(compoundFromRow(query));
    return list;
}

QJsonArray Database::search(const QString &foldedQuery, int limit)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    QStringList columns;
    for (const QString &key : compoundKeys())
        columns.append(QStringLiteral("c.") + key);
    if (foldedQuery.isEmpty()) {
        query.prepare(QStringLiteral("SELECT %1, 1, 0 FROM compounds c ORDER BY c.kod LIMIT :limit")
                          .arg(columns.join(QStringLiteral(", "))));
    } else {
        query.prepare(
            QStringLiteral("SELECT %1,"
                           " instr(c.search_text, :q1) > 0,"
                           " instr(coalesce(d.search_text, ''), :q2) > 0"
                           " FROM compounds c LEFT JOIN compound_details d ON d.kod = c.kod"
                           " WHERE instr(c.search_text, :q3) > 0"
                           " OR instr(coalesce(d.search_text, ''), :q4) > 0"
                           " ORDER BY c.kod LIMIT :limit")
                .arg(columns.join(QStringLiteral(", "))));
        for (const char *name : {":q1", ":q2", ":q3", ":q4"})
            query.bindValue(QLatin1String(name), foldedQuery);
    }
    query.bindValue(QStringLiteral(":limit"), limit);
    QJsonArray list;
    if (!exec(query))
        return list;
    const int flags = compoundKeys().size();
    while (query.next()) {
        QJsonObject compound = compoundFromRow(query);
        compound.insert(QStringLiteral("base_hit"), query.value(flags).toBool());
        compound.insert(QStringLiteral("details_hit"), query.value(flags + 1).toBool());
        list.append(compound);
    }
    return list;
}

bool Database::compoundExists(const QString &kod)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("SELECT 1 FROM compounds WHERE kod = :kod"));
    query.bindValue(QStringLiteral(":kod"), kod);
    return exec(query) && query.next();
}

Database::WriteResult Database::insertCompound(const QStringList &values)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.transaction())
        return WriteResult::Failed;
    if (compoundExists(values.at(0)))
        return rollbackWith(WriteResult::Duplicate);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO compounds (%1, search_text)"
                                 " VALUES (:v0, :v1, :v2, :v3, :v4, :v5, :search)")
                      .arg(compoundKeys().join(QStringLiteral(", "))));
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(QStringLiteral(":v%1").arg(i), values.at(i));
    query.bindValue(QStringLiteral(":search"), compoundSearchText(values));
    if (!exec(query))
        return rollbackWith(WriteResult::Failed);
    return commitOrFail();
}

Database::WriteResult Database::updateCompound(const QString &kod, const QStringList &values)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(
        QStringLiteral("UPDATE compounds SET nev = :v1, keplet = :v2, molaris_tomeg = :v3,"
                       " szin = :v4, halmazallapot = :v5, search_text = :search"
                       " WHERE kod = :kod"));
    for (int i = 1; i < values.size(); ++i)
        query.bindValue(QStringLiteral(":v%1").arg(i), values.at(i));
    QStringList searchValues = values;
    searchValues[0] = kod;
    query.bindValue(QStringLiteral(":search"), compoundSearchText(searchValues));
    query.bindValue(QStringLiteral(":kod"), kod);
    if (!exec(query))
        return WriteResult::Failed;
    return query.numRowsAffected() == 1 ? WriteResult::Ok : WriteResult::NotFound;
}

Database::WriteResult Database::deleteCompound(const QString &kod)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("DELETE FROM compounds WHERE kod = :kod"));
    query.bindValue(QStringLiteral(":kod"), kod);
    if (!exec(query))
        return WriteResult::Failed;
    return query.numRowsAffected() == 1 ? WriteResult::Ok : WriteResult::NotFound;
}

std::optional<QJsonObject> Database::details(const QString &kod, const QString &imageOrigin)
{
    if (!compoundExists(kod))
        return std::nullopt;
    QJsonObject details {{QStringLiteral("kod"), kod}};
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("SELECT %1 FROM compound_details WHERE kod = :kod")
                      .arg(detailKeys().join(QStringLiteral(", "))));
    query.bindValue(QStringLiteral(":kod"), kod);
    if (!exec(query))
        return std::nullopt;
    const bool found = query.next();
    for (int i = 0; i < detailKeys().size(); ++i)
        details.insert(detailKeys().at(i), found ? query.value(i).toString() : QString());

    QSqlQuery images(QSqlDatabase::database(connectionName));
    images.prepare(QStringLiteral("SELECT file_name, caption, sort_order FROM compound_images"
                                  " WHERE kod = :kod ORDER BY sort_order, id"));
    images.bindValue(QStringLiteral(":kod"), kod);
    QJsonArray imageList;
    if (exec(images)) {
        while (images.next()) {
            const QString path
                = QString::fromLatin1(QUrl::toPercentEncoding(images.value(0).toString()));
            imageList.append(QJsonObject {
                {QStringLiteral("url"), imageOrigin + QStringLiteral("/images/") + path},
                {QStringLiteral("caption"), images.value(1).toString()},
                {QStringLiteral("order"), images.value(2).toInt()}});
        }
    }
    details.insert(QStringLiteral("images"), imageList);
    return details;
}

Database::WriteResult Database::saveDetails(const QString &kod, const QStringList &values)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.transaction())
        return WriteResult::Failed;
    if (!compoundExists(kod))
        return rollbackWith(WriteResult::NotFound);
    QStringList placeholders;
    for (int i = 0; i < values.size(); ++i)
        placeholders.append(QStringLiteral(":v%1").arg(i));
    QSqlQuery query(db);
    query.prepare(
        QStringLiteral("INSERT OR REPLACE INTO compound_details (kod, %1, search_text)"
                       " VALUES (:kod, %2, :search)")
            .arg(detailKeys().join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", "))));
    query.bindValue(QStringLiteral(":kod"), kod);
    for (int i = 0; i < values.size(); ++i)
        query.bindValue(placeholders.at(i), values.at(i));
    query.bindValue(QStringLiteral(":search"), detailsSearchText(values));
    if (!exec(query))
        return rollbackWith(WriteResult::Failed);
    return commitOrFail();
}

Database::WriteResult Database::addImage(
    const QString &kod, const QString &fileName, const QString &caption, int order)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("INSERT INTO compound_images (kod, file_name, caption, sort_order)"
                                 " VALUES (:kod, :file, :caption, :ord)"));
    query.bindValue(QStringLiteral(":kod"), kod);
    query.bindValue(QStringLiteral(":file"), fileName);
    query.bindValue(QStringLiteral(":caption"), caption);
    query.bindValue(QStringLiteral(":ord"), order);
    return exec(query) ? WriteResult::Ok : WriteResult::Failed;
}

std::optional<UserRecord> Database::userByName(const QString &name)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(
        QStringLiteral("SELECT %1 FROM users WHERE felhasznalonev = :name").arg(UserColumns));
    query.bindValue(QStringLiteral(":name"), name);
    if (!exec(query) || !query.next())
        return std::nullopt;
    return userFromRow(query);
}

std::optional<UserRecord> Database::userById(qint64 id)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("SELECT %1 FROM users WHERE id = :id").arg(UserColumns));
    query.bindValue(QStringLiteral(":id"), id);
    if (!exec(query) || !query.next())
        return std::nullopt;
    return userFromRow(query);
}

QJsonArray Database::users()
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT %1 FROM users ORDER BY felhasznalonev").arg(UserColumns));
    QJsonArray list;
    if (!exec(query))
        return list;
    while (query.next())
        list.append(userFromRow(query).toJson());
    return list;
}

bool Database::nameTaken(const QString &name, qint64 exceptId)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(QStringLiteral("SELECT 1 FROM users WHERE name_key = :key AND id <> :id"));
    query.bindValue(QStringLiteral(":key"), SearchText::fold(name));
    query.bindValue(QStringLiteral(":id"), exceptId);
    return !exec(query) || query.next();
}

bool Database::wouldLeaveNoAdmin(qint64 userId, const QString &newRole)
{
    if (newRole == QLatin1String("admin"))
        return false;
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(
        QStringLiteral("SELECT count(*) FROM users WHERE szerepkor = 'admin' AND id <> :id"));
    query.bindValue(QStringLiteral(":id"), userId);
    if (!exec(query) || !query.next())
        return true;
    if (query.value(0).toLongLong() > 0)
        return false;
    const std::optional<UserRecord> user = userById(userId);
    return user && user->szerepkor == QLatin1String("admin");
}

Database::WriteResult Database::insertUser(const UserRecord &user)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.transaction())
        return WriteResult::Failed;
    if (nameTaken(user.felhasznalonev, -1))
        return rollbackWith(WriteResult::Duplicate);
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "INSERT INTO users (felhasznalonev, name_key, vezeteknev, keresztnev, email, szerepkor,"
        " password_hash) VALUES (:name, :key, :vez, :ker, :email, :role, :hash)"));
    query.bindValue(QStringLiteral(":name"), user.felhasznalonev);
    query.bindValue(QStringLiteral(":key"), SearchText::fold(user.felhasznalonev));
    query.bindValue(QStringLiteral(":vez"), user.vezeteknev);
    query.bindValue(QStringLiteral(":ker"), user.keresztnev);
    query.bindValue(QStringLiteral(":email"), user.email);
    query.bindValue(QStringLiteral(":role"), user.szerepkor);
    query.bindValue(QStringLiteral(":hash"), QString::fromLatin1(user.passwordHash));
    if (!exec(query))
        return rollbackWith(WriteResult::Failed);
    return commitOrFail();
}

Database::WriteResult Database::updateUser(const QString &oldName, const UserRecord &data)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.transaction())
        return WriteResult::Failed;
    const std::optional<UserRecord> current = userByName(oldName);
    if (!current)
        return rollbackWith(WriteResult::NotFound);
    if (nameTaken(data.felhasznalonev, current->id))
        return rollbackWith(WriteResult::Duplicate);
    if (wouldLeaveNoAdmin(current->id, data.szerepkor))
        return rollbackWith(WriteResult::LastAdmin);
    QSqlQuery query(db);
    query.prepare(QStringLiteral(
        "UPDATE users SET felhasznalonev = :name, name_key = :key, vezeteknev = :vez,"
        " keresztnev = :ker, email = :email, szerepkor = :role WHERE id = :id"));
    query.bindValue(QStringLiteral(":name"), data.felhasznalonev);
    query.bindValue(QStringLiteral(":key"), SearchText::fold(data.felhasznalonev));
    query.bindValue(QStringLiteral(":vez"), data.vezeteknev);
    query.bindValue(QStringLiteral(":ker"), data.keresztnev);
    query.bindValue(QStringLiteral(":email"), data.email);
    query.bindValue(QStringLiteral(":role"), data.szerepkor);
    query.bindValue(QStringLiteral(":id"), current->id);
    if (!exec(query))
        return rollbackWith(WriteResult::Failed);
    return commitOrFail();
}

Database::WriteResult Database::setPasswordHash(const QString &name, const QByteArray &hash)
{
    QSqlQuery query(QSqlDatabase::database(connectionName));
    query.prepare(
        QStringLiteral("UPDATE users SET password_hash = :hash WHERE felhasznalonev = :name"));
    query.bindValue(QStringLiteral(":hash"), QString::fromLatin1(hash));
    query.bindValue(QStringLiteral(":name"), name);
    if (!exec(query))
        return WriteResult::Failed;
    return query.numRowsAffected() == 1 ? WriteResult::Ok : WriteResult::NotFound;
}

Database::WriteResult Database::setRole(const QString &name, const QString &role)
{
    QSqlDatabase db = QSqlDatabase::database(connectionName);
    if (!db.transaction())
        return WriteResult::Failed;
    const std::optional<UserRecord> current = userByName(name);
    if (!current)
        return rollbackWith(WriteResult::NotFound);
    if (wouldLeaveNoAdmin(current->id, role))
        return rollbackWith(WriteResult::LastAdmin);
    QSqlQuery query(db);
    query.prepare(QStringLiteral("UPDATE users SET szerepkor = :role WHERE id = :id"));
    query.bindValue(QStringLiteral(":role"), role);
    query.bindValue(QStringLiteral(":id"), current->id);
    if (!exec(query))
        return rollbackWith(WriteResult::Failed);
    return commitOrFail();
}
