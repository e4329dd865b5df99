#pragma once

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>

// Points the platform's temporary location (TMPDIR) at a fresh directory for
// as long as it lives.
class ScopedTempLocation {
public:
    ScopedTempLocation()
        : hadPrevious(qEnvironmentVariableIsSet("TMPDIR"))
        , previous(qgetenv("TMPDIR"))
    {
        qputenv("TMPDIR", QFile::encodeName(dir.path()));
    }
    ~ScopedTempLocation()
    {
        if (hadPrevious)
            qputenv("TMPDIR", previous);
        else
            qunsetenv("TMPDIR");
    }
    ScopedTempLocation(const ScopedTempLocation &) = delete;
    ScopedTempLocation &operator=(const ScopedTempLocation &) = delete;

    bool isValid() const
    {
        return dir.isValid();
    }
    QString path() const
    {
        return dir.path();
    }
    QString filePath(const QString &name) const
    {
        return QDir(dir.path()).filePath(name);
    }

private:
    QTemporaryDir dir;
    bool hadPrevious;
    QByteArray previous;
};
