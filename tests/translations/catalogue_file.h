#ifndef VYR_TESTS_CATALOGUE_FILE_H
#define VYR_TESTS_CATALOGUE_FILE_H

#include <QList>
#include <QString>

// One message of a Linguist .ts file.
struct Catalogue_message
{
    QString context;
    QString source;
    QString translation;
    // false for "unfinished", "obsolete" and "vanished" entries.
    bool finished = true;
};

// The messages of a .ts file in file order; ok is false when it cannot be read or parsed.
QList<Catalogue_message> read_catalogue(const QString& path, bool* ok);

#endif
