#pragma once

#include <QHttpServerResponse>
#include <QString>

class AccessGuard;
class ApiRequest;
class Database;

// /api/v1/compounds: list, search, create, update, delete, and the details
// of one compound.
class CompoundRoutes {
public:
    CompoundRoutes(Database &database, AccessGuard &guard);

    // The server's own origin, put in front of image paths.
    void setImageOrigin(const QString &origin);

    // segments() starts with "api", "v1", "compounds".
    QHttpServerResponse handle(const ApiRequest &request);

private:
    QHttpServerResponse list();
    QHttpServerResponse search(const ApiRequest &request);
    QHttpServerResponse create(const ApiRequest &request);
    QHttpServerResponse update(const ApiRequest &request, const QString &kod);
    QHttpServerResponse remove(const QString &kod);
    QHttpServerResponse readDetails(const QString &kod);
    QHttpServerResponse writeDetails(const ApiRequest &request, const QString &kod);

    Database &database;
    AccessGuard &guard;
    QString imageOrigin;
    // The serialised full list; emptied by every compound write.
    QByteArray listCache;
};
