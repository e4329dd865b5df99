#pragma once

#include <QByteArray>
#include <QString>

// What this build of the client was made for, as one line of JSON: its
// `version`, the server `origin`, the `release_key` it checks releases with
// (base64) and the `trusted_ca` compiled in (PEM); the last two are empty
// when the build has none. Needs no application object.
QByteArray buildInfo(const QString &version);
