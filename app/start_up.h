#ifndef VYR_APP_START_UP_H
#define VYR_APP_START_UP_H

class QCoreApplication;
class QTranslator;

// The catalogue name is looked up by Qt relative to the working directory;
// a missing catalogue leaves the translator empty and is not an error.
void load_catalogue(QCoreApplication& application, QTranslator& translator);

// Application name with blanks for underscores, and the version.
void set_application_identity(QCoreApplication& application);

#endif
