#pragma once

#include <QString>

class Database;

// Demo data for a fresh database: real compounds with Hungarian names and
// their details, a few generated SVG images, and one account per role.
class DemoSeed {
public:
    // Fills an empty database; does nothing when it holds compounds already.
    // Returns an error text, or an empty text on success.
    static QString fill(Database &database, const QString &imagesDir);
    // Adds count generated compounds (for load measurements).
    static QString addGenerated(Database &database, int count);
};
