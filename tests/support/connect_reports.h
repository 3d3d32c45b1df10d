#ifndef VYR_TESTS_SUPPORT_CONNECT_REPORTS_H
#define VYR_TESTS_SUPPORT_CONNECT_REPORTS_H

#include <QList>
#include <QPair>
#include <QString>

class QSignalSpy;

// The (is_connect, status) pairs a report_connect_status spy has seen, in order.
QList<QPair<bool, QString>> reports(const QSignalSpy& spy);

#endif
