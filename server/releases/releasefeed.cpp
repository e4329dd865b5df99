#include "server/releases/releasefeed.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

std::optional<ReleaseFeed> ReleaseFeed::read(const QString &path, QString *problem)
{
    QFile file(path);
    if (!file.exists())
        return ReleaseFeed();
    std::optional<ReleaseFeed> feed
        = file.open(QIODevice::ReadOnly) ? fromJson(file.readAll()) : std::nullopt;
    if (!feed)
        *problem = QStringLiteral("%1 is not a release feed (a JSON object); move it away to "
                                  "publish a first feed")
                       .arg(path);
    return feed;
}

std::optional<ReleaseFeed> ReleaseFeed::fromJson(const QByteArray &json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject())
        return std::nullopt;
    const QJsonObject feed = document.object();
    ReleaseFeed current;
    current.exists = true;
    current.version = feed.value(QLatin1String("version")).toString();
    current.isSigned = !feed.value(QLatin1String("signature")).toString().isEmpty();
    // publish writes the file name, percent-encoded, relative to the feed.
    const QUrl download(feed.value(QLatin1String("download_url")).toString());
    const QString name = download.path(QUrl::FullyDecoded);
    if (download.isRelative() && !download.hasQuery() && !download.hasFragment()
        && !name.contains(QLatin1Char('/')) && !name.startsWith(QLatin1Char('.')))
        current.installerName = name;
    return current;
}
