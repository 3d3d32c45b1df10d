// The Japanese catalogue against the texts the program actually has.
#include <QAbstractButton>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QSet>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

#include "catalogue_file.h"
#include "main_window.h"
#include "start_up.h"

namespace {

QString key(const Catalogue_message& message)
{
    return message.context + " / " + message.source;
}

// Scans the sources the way the catalogue is kept up to date, into a fresh file.
QList<Catalogue_message> program_texts(const QString& folder, bool* ok)
{
    const QString fresh = folder + "/fresh.ts";
    QStringList arguments{"-silent", "-locations", "none"};
    arguments += QString(TRANSLATED_DIRS).split(',');
    arguments += {"-ts", fresh};
    QProcess lupdate;
    lupdate.setWorkingDirectory(SOURCE_ROOT);
    lupdate.start(LUPDATE_PATH, arguments);
    *ok = lupdate.waitForFinished(60000) && lupdate.exitStatus() == QProcess::NormalExit &&
          lupdate.exitCode() == 0;
    if (!*ok)
        return {};
    return read_catalogue(fresh, ok);
}

QStringList texts_on_window(const QWidget& window)
{
    QStringList texts;
    for (const QLabel* label : window.findChildren<QLabel*>())
        texts << label->text();
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
        texts << button->text();
    return texts;
}

} // namespace

class Catalogue_test : public QObject
{
    Q_OBJECT

    QTemporaryDir scratch;
    QList<Catalogue_message> program;
    QList<Catalogue_message> catalogue;

    QHash<QString, Catalogue_message> catalogue_by_key() const
    {
        QHash<QString, Catalogue_message> by_key;
        for (const Catalogue_message& message : catalogue)
            by_key.insert(key(message), message);
        return by_key;
    }

private slots:
    void initTestCase()
    {
        bool scanned = false;
        program = program_texts(scratch.path(), &scanned);
        QVERIFY2(scanned, "lupdate could not scan the sources");
        // A scan that finds nothing would let every catalogue pass.
        QVERIFY(program.size() >= 30);
        bool read = false;
        catalogue = read_catalogue(CATALOGUE_TS, &read);
        QVERIFY2(read, CATALOGUE_TS);
    }

    void every_program_text_has_a_finished_translation()
    {
        const auto by_key = catalogue_by_key();
        QStringList missing;
        for (const Catalogue_message& text : program) {
            const auto entry = by_key.constFind(key(text));
            if (entry == by_key.constEnd() || !entry->finished ||
                entry->translation.trimmed().isEmpty())
                missing << key(text);
        }
        QVERIFY2(missing.isEmpty(),
                 qPrintable("untranslated: " + missing.join("; ") +
                            " (cmake --build <dir> --target vyr_lupdate, then translate)"));
    }

    void catalogue_keeps_no_text_the_program_no_longer_has()
    {
        QSet<QString> known;
        for (const Catalogue_message& text : program)
            known.insert(key(text));
        QStringList stale;
        for (const Catalogue_message& message : catalogue)
            if (!known.contains(key(message)))
                stale << key(message);
        QVERIFY2(stale.isEmpty(), qPrintable("no longer in the program: " + stale.join("; ")));
    }

    // The compiled catalogue, found by the program's own lookup in the working
    // directory, leaves no English word on the window.
    void built_catalogue_translates_the_whole_window()
    {
        QTemporaryDir folder;
        const QString previous = QDir::currentPath();
        QVERIFY(QFile::copy(CATALOGUE_QM, folder.path() + "/VYR_Setting_Tool_ja.qm"));
        QVERIFY(QDir::setCurrent(folder.path()));

        QTranslator translator;
        load_catalogue(*QCoreApplication::instance(), translator);
        QStringList texts;
        QString status;
        {
            MainWindow window;
            texts = texts_on_window(window);
            status = window.statusBar()->currentMessage();
        }
        QCoreApplication::removeTranslator(&translator);
        QDir::setCurrent(previous);
        QVERIFY(!translator.isEmpty());

        // Texts that read the same in both languages (the dots between octets) are fine.
        const auto by_key = catalogue_by_key();
        QSet<QString> english;
        for (const Catalogue_message& text : program)
            if (by_key.value(key(text)).translation != text.source)
                english.insert(text.source);

        QVERIFY(texts.size() >= 20);
        for (const QString& text : texts)
            QVERIFY2(!english.contains(text), qPrintable("still English: " + text));
        QCOMPARE(status, QString::fromUtf8("アプリケーションを起動しました。"));
    }
};

QTEST_MAIN(Catalogue_test)
#include "catalogue_test.moc"
