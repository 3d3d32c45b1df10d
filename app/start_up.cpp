#include "start_up.h"

#include <QCoreApplication>
#include <QString>
#include <QTranslator>

void load_catalogue(QCoreApplication& application, QTranslator& translator)
{
    // The result is deliberately ignored: without a catalogue the texts stay untranslated.
    (void)translator.load("VYR_Setting_Tool_ja.ts");
    application.installTranslator(&translator);
}

void set_application_identity(QCoreApplication& application)
{
    application.setApplicationName(QString("VYR_Setting_Tool").replace("_", " "));
    application.setApplicationVersion("1.0.1");
}
