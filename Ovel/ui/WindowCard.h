// One limit window: the full card of the headline window and the compact
// row of every other one, with the usage bar and status pill.
#pragma once

#include <QLayout>
#include <QWidget>

#include <string>

#include "core/OvelEngine.h"
#include "ui/OvelBar.h"
#include "ui/StatusPill.h"

namespace ovel {

// `extra` (owned by the card when given) goes below the figures.
QWidget* makeWindowCard(const WindowAssessment& assessment, Date now, QLayout* extra = nullptr);
QWidget* makeWindowRow(const WindowAssessment& assessment, Date now);

// "Current burn rate, from recent readings." and the like.
std::string rateHelp(RateBasis basis);

}  // namespace ovel
