#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "ip_address_widget.h"

class Ip_address_widget_test : public QObject
{
    Q_OBJECT

private:
    static QLineEdit* edit(Ip_address_widget& widget, int index)
    {
        return widget.findChild<QLineEdit*>(QString("address_%1_edit_").arg(index));
    }

private slots:
    void form_has_four_edits_between_dot_labels()
    {
        Ip_address_widget widget;
        QCOMPARE(widget.objectName(), QString("Ip_address_widget_form"));
        QCOMPARE(widget.size(), QSize(206, 40));
        QCOMPARE(widget.windowTitle(), QString("IP Address"));
        const QList<QWidget*> children =
            widget.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
        QStringList names;
        for (QWidget* child : children) {
            names << child->objectName();
        }
        QCOMPARE(names, QStringList({"address_0_edit_", "label", "address_1_edit_", "label_2",
                                     "address_2_edit_", "label_3", "address_3_edit_"}));
        for (const char* name : {"label", "label_2", "label_3"}) {
            QCOMPARE(widget.findChild<QLabel*>(name)->text(), QString("."));
        }
        for (int index = 0; index < 4; ++index) {
            QCOMPARE(edit(widget, index)->maximumWidth(), 50);
            QCOMPARE(edit(widget, index)->alignment(), Qt::AlignCenter);
        }
    }

    void fresh_widget_reads_zeros_and_empty_parts()
    {
        Ip_address_widget widget;
        QCOMPARE(widget.address(), QString("0.0.0.0"));
        for (int index = -1; index <= 4; ++index) {
            QVERIFY(widget.address_part(index).isEmpty());
        }
    }

    void set_address_fills_fields_and_wraps_bytes()
    {
        Ip_address_widget widget;
        widget.set_address("192.168.0.11");
        QCOMPARE(widget.address(), QString("192.168.0.11"));
        QCOMPARE(widget.address_part(2), QString("0"));
        QCOMPARE(edit(widget, 3)->text(), QString("11"));

        widget.set_address("300.-1.007.x9");
        QCOMPARE(widget.address(), QString("44.255.7.0"));

        // Runs of dots are one separator; leading dots and a fifth field are ignored.
        widget.set_address("..10..20.30.40.50");
        QCOMPARE(widget.address(), QString("10.20.30.40"));

        widget.set_address(" 5.+6.99999999999999999999.256");
        QCOMPARE(widget.address(), QString("5.6.255.0"));
    }

    void set_address_without_fields_changes_nothing()
    {
        Ip_address_widget widget;
        widget.set_address("1.2.3.4");
        for (const char* text : {"", ".", "....",
                                 "\0"
                                 "5.6.7.8"}) {
            widget.set_address(QByteArray(text, int(qstrlen(text))));
            QCOMPARE(widget.address(), QString("1.2.3.4"));
        }
        // Bytes after a NUL are not part of the text.
        widget.set_address(QByteArray("9\0"
                                      "8.7.6",
                                      7));
        QCOMPARE(widget.address(), QString("9.2.3.4"));
    }

    void short_address_leaves_missing_fields()
    {
        Ip_address_widget widget;
        widget.set_address("1.2.3.4");
        widget.set_address("10.20");
        QCOMPARE(widget.address(), QString("10.20.3.4"));
    }

    void emptied_field_reads_zero_but_part_stays_empty()
    {
        Ip_address_widget widget;
        widget.set_address("10.1.2.3");
        edit(widget, 2)->clear();
        QCOMPARE(widget.address(), QString("10.1.0.3"));
        QVERIFY(widget.address_part(2).isEmpty());
        edit(widget, 1)->setText("007");
        QCOMPARE(widget.address(), QString("10.007.0.3"));
    }

    void typing_is_limited_to_one_octet_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("three digits") << "255"
                                      << "255";
        QTest::newRow("fourth digit refused") << "1234"
                                              << "123";
        QTest::newRow("256 refused") << "256"
                                     << "25";
        QTest::newRow("300 refused") << "300"
                                     << "30";
        QTest::newRow("leading zeros") << "000"
                                       << "000";
        QTest::newRow("09") << "09"
                            << "09";
        QTest::newRow("249") << "249"
                             << "249";
        QTest::newRow("letters and signs") << "-1a.2"
                                           << "12";
    }
    void typing_is_limited_to_one_octet()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        Ip_address_widget widget;
        widget.show();
        for (int index = 0; index < 4; ++index) {
            QTest::keyClicks(edit(widget, index), typed);
            QCOMPARE(widget.address_part(index), shown);
        }
    }
};

QTEST_MAIN(Ip_address_widget_test)
#include "ip_address_widget_test.moc"
