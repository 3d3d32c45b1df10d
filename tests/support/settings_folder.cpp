#include "settings_folder.h"

#include <QDir>
#include <QFile>
#include <QSettings>

Scoped_working_directory::Scoped_working_directory() : previous(QDir::currentPath())
{
    QDir::setCurrent(folder.path());
}

Scoped_working_directory::~Scoped_working_directory()
{
    QDir::setCurrent(previous);
}

bool write_settings_file(const QStringList& lines)
{
    QFile file("conncet_setting.ini");
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return file.write(("[General]\n" + lines.join('\n') + '\n').toLatin1()) > 0;
}

QString settings_value(const QString& key)
{
    const QSettings settings("conncet_setting.ini", QSettings::IniFormat);
    const QVariant value = settings.value(key);
    return value.isValid() ? value.toString() : QString();
}
