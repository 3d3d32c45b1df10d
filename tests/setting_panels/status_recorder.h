#ifndef VYR_TESTS_SETTING_PANELS_STATUS_RECORDER_H
#define VYR_TESTS_SETTING_PANELS_STATUS_RECORDER_H

#include <QElapsedTimer>
#include <QObject>
#include <QStringList>

// Records a panel's emissions, tagged by signal, in the order they come, and how
// long after start() the last one came.
class Status_recorder
{
public:
    QStringList events;

    void start() { clock_.start(); }
    qint64 last_ms() const { return last_ms_; }
    QString last() const { return events.isEmpty() ? QString() : events.last(); }

    template <class Panel> void watch(Panel* panel)
    {
        QObject::connect(panel, &Panel::report_status, &context_,
                         [this](const QString& status) { note("status:" + status); });
    }
    template <class Panel> void watch_ip(Panel* panel)
    {
        QObject::connect(panel, &Panel::ip_changed, &context_,
                         [this](const QString& address) { note("ip_changed:" + address); });
    }

private:
    void note(const QString& event)
    {
        events << event;
        last_ms_ = clock_.isValid() ? clock_.elapsed() : 0;
    }

    QObject context_;
    QElapsedTimer clock_;
    qint64 last_ms_ = 0;
};

#endif
