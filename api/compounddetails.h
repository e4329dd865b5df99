#pragma once

#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

struct CompoundImage {
    QString url;
    QString caption;
    qint32 order = 0;
};

// A compound's extended details. The images are read-only for the client:
// they come from the server and are never sent back.
struct CompoundDetails {
    QString kod;
    QString description;
    QString cas;
    QString msds_url;
    QString ghs;
    QString storage;
    QString density;
    QString melting_point;
    QString boiling_point;
    QString solubility;
    QString notes;
    QList<CompoundImage> images;
};

Q_DECLARE_METATYPE(CompoundImage)
Q_DECLARE_METATYPE(CompoundDetails)

// Strings of the wrong JSON type read as empty; "order" is 0 unless it is a
// whole number that fits 32 bits; non-object images are skipped.
CompoundDetails compoundDetailsFromJson(const QJsonObject &object);
CompoundImage compoundImageFromJson(const QJsonObject &object);
// Exactly the ten editable keys, never "kod" or "images".
QJsonObject compoundDetailsToJson(const CompoundDetails &details);
