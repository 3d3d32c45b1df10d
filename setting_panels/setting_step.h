#ifndef VYR_SETTING_PANELS_SETTING_STEP_H
#define VYR_SETTING_PANELS_SETTING_STEP_H

#include <QString>

// One setting action as every panel reports it: the head alone, then the head followed
// by the outcome text the action returns (a translated "success" or "fail", or a value).
template <class Panel, class Action>
void run_setting_step(Panel* panel, const QString& head, Action action)
{
    emit panel->report_status(head);
    emit panel->report_status(head + action());
}

#endif
