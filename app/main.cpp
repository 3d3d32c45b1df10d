#include <QApplication>
#include <QTranslator>

#include "main_window.h"
#include "start_up.h"

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QTranslator translator;
    load_catalogue(application, translator);
    set_application_identity(application);

    MainWindow window;
    window.show();
    return application.exec();
}
