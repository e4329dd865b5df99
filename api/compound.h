#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QMetaType>
#include <QString>

// One compound's base data as the compound list and search replies carry it.
struct Compound {
    QString kod;
    QString nev;
    QString keplet;
    QString molaris_tomeg;
    QString szin;
    QString halmazallapot;
    bool details_hit = false;
    bool base_hit = true;
};

Q_DECLARE_METATYPE(Compound)

// A field of the wrong JSON type, null or missing reads as empty. The two hit
// flags are read only from search replies.
Compound compoundFromJson(const QJsonObject &object, bool withSearchFlags);
// Elements that are not objects are skipped; the server's order is kept.
QList<Compound> compoundsFromJson(const QJsonArray &array, bool withSearchFlags);
// Exactly the six text keys; the hit flags are never sent.
QJsonObject compoundToJson(const Compound &compound);
