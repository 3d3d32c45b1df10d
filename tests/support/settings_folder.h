#ifndef VYR_TESTS_SUPPORT_SETTINGS_FOLDER_H
#define VYR_TESTS_SUPPORT_SETTINGS_FOLDER_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Moves the process into a fresh temporary folder for the life of the object, so the
// relative settings file of the panel lands there.
class Scoped_working_directory
{
public:
    Scoped_working_directory();
    ~Scoped_working_directory();
    QString path() const { return folder.path(); }

private:
    QTemporaryDir folder;
    QString previous;
};

// Writes the settings file in the current folder from "key=value" lines, verbatim.
bool write_settings_file(const QStringList& lines);

// The value of one key in the current folder's settings file, as text; null when missing.
QString settings_value(const QString& key);

#endif
