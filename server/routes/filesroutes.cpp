#include "server/routes/filesroutes.h"

#include "server/http/apirequest.h"
#include "server/http/jsonreply.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

using Status = JsonReply::Status;

QHttpServerResponse notFound()
{
    return JsonReply::refusal(Status::NotFound, QStringLiteral("Nincs ilyen fájl."));
}

bool safeSegment(const QString &segment)
{
    return !segment.isEmpty() && !segment.startsWith(QLatin1Char('.'))
        && !segment.contains(QLatin1Char('/')) && !segment.contains(QLatin1Char('\\'))
        && !segment.contains(QChar(0));
}

} // namespace

FilesRoutes::FilesRoutes(const QString &releasesDir, const QString &imagesDir)
    : releasesDir(releasesDir)
    , imagesDir(imagesDir)
{
}

QHttpServerResponse FilesRoutes::releases(const ApiRequest &request)
{
    return serve(request, releasesDir, request.segments().mid(1));
}

QHttpServerResponse FilesRoutes::images(const ApiRequest &request)
{
    return serve(request, imagesDir, request.segments().mid(1));
}

QHttpServerResponse FilesRoutes::serve(
    const ApiRequest &request, const QString &rootDir, const QStringList &relativeSegments)
{
    using Method = QHttpServerRequest::Method;
    if (request.method() != Method::Get && request.method() != Method::Head)
        return JsonReply::methodNotAllowed();
    if (rootDir.isEmpty() || relativeSegments.isEmpty())
        return notFound();
    for (const QString &segment : relativeSegments) {
        if (!safeSegment(segment))
            return notFound();
    }
    const QString root = QFileInfo(rootDir).canonicalFilePath();
    const QFileInfo info(QDir(rootDir).filePath(relativeSegments.join(QLatin1Char('/'))));
    const QString canonical = info.canonicalFilePath();
    if (root.isEmpty() || canonical.isEmpty() || !info.isFile()
        || !canonical.startsWith(root + QLatin1Char('/')))
        return notFound();
    QFile file(canonical);
    if (!file.open(QIODevice::ReadOnly))
        return notFound();
    QHttpServerResponse response(mimeTypeFor(info.fileName()), file.readAll());
    JsonReply::addCommonHeaders(response);
    // The feed must never be served stale; an installer is fixed by its digest.
    response.setHeader(QByteArrayLiteral("Cache-Control"), QByteArrayLiteral("no-cache"));
    if (info.suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0)
        response.setHeader(QByteArrayLiteral("Content-Security-Policy"),
            QByteArrayLiteral("default-src 'none'; style-src 'unsafe-inline'"));
    return response;
}

QByteArray FilesRoutes::mimeTypeFor(const QString &fileName)
{
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("json"))
        return QByteArrayLiteral("application/json");
    if (suffix == QLatin1String("svg"))
        return QByteArrayLiteral("image/svg+xml");
    if (suffix == QLatin1String("png"))
        return QByteArrayLiteral("image/png");
    if (suffix == QLatin1String("txt"))
        return QByteArrayLiteral("text/plain; charset=utf-8");
    return QByteArrayLiteral("application/octet-stream");
}
