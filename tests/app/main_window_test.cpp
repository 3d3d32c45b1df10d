#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QVBoxLayout>

#include "main_window.h"
#include "start_up.h"

namespace {

// Runs a block with the process's working directory set to a fresh temporary folder.
class Scoped_working_directory
{
public:
    Scoped_working_directory() : previous(QDir::currentPath()) { QDir::setCurrent(folder.path()); }
    ~Scoped_working_directory() { QDir::setCurrent(previous); }
    QString path() const { return folder.path(); }

private:
    QTemporaryDir folder;
    QString previous;
};

bool write_catalogue(const QString& folder)
{
    const QString source = folder + "/catalogue.ts";
    QFile file(source);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>MainWindow</name>
    <message>
        <source>Start Application.</source>
        <translation>START</translation>
    </message>
</context>
</TS>
)");
    file.close();
    const int status = QProcess::execute(LRELEASE_PATH, {"-silent", source, "-qm",
                                                          folder + "/VYR_Setting_Tool_ja.qm"});
    return status == 0 && QFile::exists(folder + "/VYR_Setting_Tool_ja.qm");
}

} // namespace

class Main_window_test : public QObject
{
    Q_OBJECT

    // The connection panel writes its settings file into the working directory.
    Scoped_working_directory working_directory;

private slots:
    void initTestCase() { set_application_identity(*QCoreApplication::instance()); }

    void identity_and_title()
    {
        QCOMPARE(QCoreApplication::applicationName(), QString("VYR Setting Tool"));
        QCOMPARE(QCoreApplication::applicationVersion(), QString("1.0.1"));
        MainWindow window;
        QCOMPARE(window.windowTitle(), QString("VYR Setting Tool ver.1.0.1"));
    }

    void form_layout()
    {
        MainWindow window;
        QCOMPARE(window.objectName(), QString("MainWindow"));
        QCOMPARE(window.size(), QSize(389, 347));

        QWidget* central = window.centralWidget();
        QVERIFY(central);
        QCOMPARE(central->objectName(), QString("centralWidget"));

        auto* grid = qobject_cast<QGridLayout*>(central->layout());
        QVERIFY(grid);
        QCOMPARE(grid->objectName(), QString("gridLayout"));
        QCOMPARE(grid->spacing(), 6);
        QCOMPARE(grid->contentsMargins(), QMargins(11, 11, 11, 11));

        auto* column = window.findChild<QVBoxLayout*>("vlo_setting");
        QVERIFY(column);
        QCOMPARE(column->spacing(), 6);
        int row = -1, col = -1, row_span = 0, col_span = 0;
        grid->getItemPosition(grid->indexOf(column), &row, &col, &row_span, &col_span);
        QCOMPARE(row, 0);
        QCOMPARE(col, 0);
        QCOMPARE(row_span, 1);
        QCOMPARE(col_span, 1);

        QCOMPARE(window.statusBar()->objectName(), QString("statusBar"));
        QCOMPARE(window.menuBar()->objectName(), QString("menuBar"));
        // File, Sensor, Help; what needs a connected sensor waits for one, the search not.
        QCOMPARE(window.menuBar()->actions().size(), 3);
        QMenu* sensor = window.menuBar()->actions().at(1)->menu();
        QVERIFY(sensor);
        QCOMPARE(sensor->title(), QString("&Sensor"));
        QStringList entries;
        for (const QAction* action : sensor->actions()) {
            entries << action->text();
            QCOMPARE(action->isEnabled(), action->objectName() == "actionFind_sensors");
        }
        QCOMPARE(entries,
                 QStringList({"&Find sensors...", "&Information...", "&Live scan..."}));
    }

    void status_text_is_replaced_and_kept()
    {
        MainWindow window;
        QCOMPARE(window.statusBar()->currentMessage(), QString("Start Application."));

        window.set_status(QString("first"));
        window.set_status(QString("second"));
        QCOMPARE(window.statusBar()->currentMessage(), QString("second"));

        // A time-out would clear the message; it must stay until replaced.
        QTest::qWait(300);
        QCOMPARE(window.statusBar()->currentMessage(), QString("second"));

        window.set_status(true, QString("connected"));
        QCOMPARE(window.statusBar()->currentMessage(), QString("connected"));
    }

    void without_catalogue_texts_are_untranslated()
    {
        Scoped_working_directory folder;
        QTranslator translator;
        load_catalogue(*QCoreApplication::instance(), translator);
        QVERIFY(translator.isEmpty());
        MainWindow window;
        QCOMPARE(window.statusBar()->currentMessage(), QString("Start Application."));
        QCoreApplication::removeTranslator(&translator);
    }

    void catalogue_in_working_directory_is_loaded()
    {
        Scoped_working_directory folder;
        QVERIFY(write_catalogue(folder.path()));
        QTranslator translator;
        load_catalogue(*QCoreApplication::instance(), translator);
        QVERIFY(!translator.isEmpty());
        MainWindow window;
        QCOMPARE(window.statusBar()->currentMessage(), QString("START"));
        QCoreApplication::removeTranslator(&translator);
    }
};

QTEST_MAIN(Main_window_test)
#include "main_window_test.moc"
