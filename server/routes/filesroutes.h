#pragma once

#include <QHttpServerResponse>
#include <QString>
#include <QStringList>

class ApiRequest;

// Files served without sign-in: the release feed and installers under
// /releases/ and the compound images under /images/. Only regular files
// inside the configured folder are served; "..", hidden names and links that
// lead outside are refused.
class FilesRoutes {
public:
    FilesRoutes(const QString &releasesDir, const QString &imagesDir);

    QHttpServerResponse releases(const ApiRequest &request);
    QHttpServerResponse images(const ApiRequest &request);

private:
    static QHttpServerResponse serve(
        const ApiRequest &request, const QString &rootDir, const QStringList &relativeSegments);
    static QByteArray mimeTypeFor(const QString &fileName);

    QString releasesDir;
    QString imagesDir;
};
