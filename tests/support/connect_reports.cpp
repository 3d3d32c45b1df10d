#include "connect_reports.h"

#include <QSignalSpy>

QList<QPair<bool, QString>> reports(const QSignalSpy& spy)
{
    QList<QPair<bool, QString>> seen;
    for (const QVariantList& arguments : spy)
        seen.append({arguments.at(0).toBool(), arguments.at(1).toString()});
    return seen;
}
