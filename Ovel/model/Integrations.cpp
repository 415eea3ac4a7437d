#include "model/Integrations.h"

#include "core/claude/ClaudeLocator.h"
#include "core/support/FileIO.h"
#include "model/Log.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

const char* const kMissingRelay = "ovel-bridge is missing from the Ovel installation.";
// The relay takes a megabyte or two; a larger file is not ours to copy.
constexpr std::uint64_t kRelaySizeLimit = std::uint64_t{256} << 20;

QString text(const std::string& message) { return QString::fromStdString(message); }

QString fileError(const fs::path& path, std::error_code error) {
  return QString::fromStdString("Couldn't install " + path.string() + ": " + error.message());
}

template <typename T>
bool assign(T& field, T value) {
  if (field == value) return false;
  field = std::move(value);
  return true;
}

}  // namespace

Integrations::Integrations(AppBundle bundle, std::unique_ptr<LoginItem> loginItem, StatusLineIntegration integration,
                           QObject* parent)
    : QObject(parent),
      bundle_(std::move(bundle)),
      loginItem_(std::move(loginItem)),
      integration_(std::move(integration)) {}

Integrations::~Integrations() = default;

void Integrations::setStatusLineError(std::optional<QString> error) {
  if (!assign(statusLineError_, std::move(error))) return;
  if (statusLineError_) qCWarning(logStatusLine).noquote() << *statusLineError_;
  emit statusLineErrorChanged();
}

void Integrations::setLoginItemError(std::optional<QString> error) {
  if (!assign(loginItemError_, std::move(error))) return;
  if (loginItemError_) qCWarning(logDesktop).noquote() << *loginItemError_;
  emit loginItemErrorChanged();
}

void Integrations::refresh() {
  if (loginItem_ && assign(launchAtLogin_, loginItem_->isEnabled())) emit launchAtLoginChanged();
  StatusLineIntegration::State state = statusLine_;
  if (auto error = integration_.state(state)) {
    setStatusLineError(text(error->errorDescription()));
  } else {
    if (assign(statusLine_, state)) emit statusLineChanged();
    setStatusLineError(std::nullopt);
  }
  if (assign(hasDownstreamCommand_, integration_.downstreamCommand().has_value())) emit hasDownstreamCommandChanged();
}

void Integrations::setLaunchAtLogin(bool on) {
  if (!loginItem_) return;
  setLoginItemError(on ? loginItem_->registerItem() : loginItem_->unregisterItem());
  refresh();
}

void Integrations::connect(Date now) {
  std::optional<QString> error = installBridgeBinary();
  if (!error) {
    if (auto failed = integration_.install(now)) error = text(failed->errorDescription());
  }
  // The refresh clears the error of a good state read; the failure of the
  // connect itself must survive it.
  refresh();
  if (error) setStatusLineError(error);
}

void Integrations::disconnect() {
  std::optional<QString> error;
  if (auto failed = integration_.uninstall()) error = text(failed->errorDescription());
  refresh();
  if (error) setStatusLineError(error);
}

std::optional<QString> Integrations::installBridgeBinary() const {
  std::optional<fs::path> source;
  for (const fs::path& candidate : bundle_.relayCandidates()) {
    if (ClaudeLocator::isExecutableFile(candidate)) {
      source = candidate;
      break;
    }
  }
  if (!source) return QString::fromLatin1(kMissingRelay);

  const fs::path& target = integration_.bridgeURL;
  // A missing target is no error here: it is simply not the source.
  std::error_code unused;
  if (fs::equivalent(*source, target, unused)) return std::nullopt;
  std::string bytes;
  if (std::error_code error = readWholeFile(*source, bytes, kRelaySizeLimit)) return fileError(*source, error);
  if (ClaudeLocator::isExecutableFile(target) && readWholeFile(target, kRelaySizeLimit) == bytes) return std::nullopt;
  // Claude Code may start the relay at any moment: it must never find the
  // file missing or half written.
  if (std::error_code error = writeFileAtomically(target, bytes, {.mode = 0755})) return fileError(target, error);
  return std::nullopt;
}

}  // namespace ovel
