#pragma once

#include <QByteArray>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A stand-in for the release installer: a shell script that writes each of
// its arguments and then its working directory, one per line, into a file.
class InstallerStub {
public:
    InstallerStub()
        : outputPath(QDir(outputDir.path()).filePath(QStringLiteral("ran.txt")))
    {
    }

    QByteArray script() const
    {
        const QByteArray out = QFile::encodeName(outputPath);
        return "#!/bin/sh\n"
               "{ for a in \"$@\"; do printf '%s\\n' \"$a\"; done; pwd; } > '"
            + out + ".part' && mv '" + out + ".part' '" + out + "'\n";
    }
    QString sha256() const
    {
        return QString::fromLatin1(
            QCryptographicHash::hash(script(), QCryptographicHash::Sha256).toHex());
    }
    bool hasRun() const
    {
        return QFile::exists(outputPath);
    }
    QStringList recorded() const
    {
        QFile file(outputPath);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

private:
    QTemporaryDir outputDir;
    QString outputPath;
};
