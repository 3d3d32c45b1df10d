#ifndef VYR_SETTING_PANELS_SETTING_STEP_H
#define VYR_SETTING_PANELS_SETTING_STEP_H

#include <QString>

#include <utility>

#include "driver_owner.h"

// One setting action as every panel reports it: the head at once, then, when the owner has
// run the exchange, the head followed by the outcome text that outcome(result) gives (a
// translated "success" or "fail", or a value). The exchange runs on the owner's thread and
// must touch nothing but the driver and what it copied; outcome runs on the panel's thread.
template <class Panel, class Exchange, class Outcome>
void run_setting_step(Panel* panel, Driver_owner& owner, const QString& head, Exchange exchange,
                      Outcome outcome)
{
    emit panel->report_status(head);
    owner.post(panel, std::move(exchange),
               [panel, head, outcome = std::move(outcome)](auto result) mutable {
                   emit panel->report_status(head + outcome(std::move(result)));
               });
}

#endif
