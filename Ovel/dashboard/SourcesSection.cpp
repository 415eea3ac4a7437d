#include "dashboard/SourcesSection.h"

#include <QHBoxLayout>
#include <QPushButton>

#include "model/Integrations.h"
#include "model/UsageModel.h"
#include "ui/Focus.h"
#include "ui/Freshness.h"
#include "ui/SourceStatus.h"
#include "ui/Theme.h"
#include "ui/ViewSupport.h"

namespace ovel {
namespace {

constexpr int kSpacing = 16;

QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

SourcesSection::Inputs inputsOf(const UsageModel& model, const Integrations& integrations) {
  return {model.now(),
          model.lastProbeAt(),
          model.lastProbeError(),
          model.lastStatusLineAt(),
          integrations.statusLine(),
          model.activity().events().size()};
}

}  // namespace

std::array<SourcesSection::Row, 3> SourcesSection::rows(const Inputs& in) {
  Row probe{QStringLiteral("/usage"),
            in.lastProbeAt ? text("read " + ageText(secondsBetween(in.now, *in.lastProbeAt)))
                           : QStringLiteral("not read yet"),
            !in.lastProbeError && in.lastProbeAt};
  bool connected = in.statusLine == StatusLineIntegration::State::installed();
  QString lineDetail = !connected            ? QStringLiteral("not connected")
                       : in.lastStatusLineAt ? text("update " + ageText(secondsBetween(in.now, *in.lastStatusLineAt)))
                                             : QStringLiteral("connected, waiting");
  Row statusLine{QStringLiteral("Status line"), lineDetail, connected};
  Row transcripts{QStringLiteral("Transcripts"), QString::number(in.eventCount) + QStringLiteral(" events this week"),
                  in.eventCount != 0};
  return {probe, statusLine, transcripts};
}

SourcesSection::SourcesSection(UsageModel& model, Integrations& integrations, std::function<void()> openSettings,
                               QWidget* parent)
    : QWidget(parent), model_(model), integrations_(integrations) {
  QFont font = Theme::font(TextStyle::caption);
  setFont(font);
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(kSpacing);
  auto initial = rows(inputsOf(model_, integrations_));
  for (std::size_t i = 0; i < initial.size(); ++i) {
    statuses_[i] = new SourceStatus(initial[i].name, initial[i].detail, initial[i].ok, font);
    row->addWidget(statuses_[i], 0, Qt::AlignVCenter);
  }
  row->addStretch(1);
  // A small button in the row's own caption font.
  auto* settings = new QPushButton(QStringLiteral("Settings\u2026"));
  settings->setFont(font);
  pressOnEnter(settings);
  connect(settings, &QPushButton::clicked, this, [openSettings = std::move(openSettings)] { openSettings(); });
  row->addWidget(settings, 0, Qt::AlignVCenter);

  auto* gate = new RedrawGate(this, [this] { refresh(); });
  for (auto signal : {&UsageModel::nowChanged, &UsageModel::lastProbeAtChanged, &UsageModel::lastProbeErrorChanged,
                      &UsageModel::lastStatusLineAtChanged, &UsageModel::activityChanged})
    connect(&model_, signal, gate, &RedrawGate::poke);
  connect(&integrations_, &Integrations::statusLineChanged, gate, &RedrawGate::poke);
}

void SourcesSection::refresh() {
  auto current = rows(inputsOf(model_, integrations_));
  for (std::size_t i = 0; i < current.size(); ++i) statuses_[i]->setStatus(current[i].detail, current[i].ok);
}

}  // namespace ovel
