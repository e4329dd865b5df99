#include "update/releasesignature.h"

#include <QFile>

// A client built for another release key defines this resource path itself.
#ifndef ORVANTIS_RELEASE_KEY_RESOURCE
#define ORVANTIS_RELEASE_KEY_RESOURCE ":/orvantis/release-signing.pub"
#endif

QByteArray builtInReleaseKey()
{
    QFile file(QStringLiteral(ORVANTIS_RELEASE_KEY_RESOURCE));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    // A key file that does not decode stays non-empty, and then no release
    // verifies: a broken key never turns the check off.
    const QByteArray text = file.readAll().trimmed();
    const QByteArray key = QByteArray::fromBase64(text);
    return key.isEmpty() ? text : key;
}
