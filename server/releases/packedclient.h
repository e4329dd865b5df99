#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The client inside a makeself installer, as its --build-info describes it:
// what it was built for. The installer is unpacked with its own --noexec
// --target, so its install script never runs.
class PackedClient {
public:
    QString version;
    QString origin;
    QString releaseKey; // base64; empty when the client checks no signature
    QByteArray trustedCa; // PEM; empty when it trusts the system's authorities only

    // Unpacks installerPath into folder (which must not exist yet) and asks
    // the client there; nullopt with *problem when either fails.
    static std::optional<PackedClient> unpack(
        const QString &installerPath, const QString &folder, QString *problem);
    // The client's --build-info output; nullopt unless it holds all four
    // facts as text.
    static std::optional<PackedClient> fromBuildInfo(const QByteArray &json);
};
