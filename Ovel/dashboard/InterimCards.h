// The first forms of the session/week card, the resets card with its plan
// form, and the sources row, shown in their places on the dashboard until
// their own views replace them.
#pragma once

#include <QWidget>

#include <functional>

namespace ovel {

class Integrations;
class UsageModel;

QWidget* makeSessionWeekCard(UsageModel& model);
QWidget* makeResetsCard(UsageModel& model);
// Built once: its inputs outlive the rebuilds of the card beside it, so that
// a half-typed note stays.
QWidget* makePlanForm(UsageModel& model);
QWidget* makeSourcesRow(UsageModel& model, Integrations& integrations, std::function<void()> openSettings);

}  // namespace ovel
