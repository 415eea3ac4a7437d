#include "model/Integrations.h"

#include "core/claude/ChainedCommand.h"
#include "core/claude/ClaudeLocator.h"
#include "core/support/FileIO.h"
#include "core/support/FileTrust.h"
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

// "Ovel won't connect: other users can write to /srv/ovel."
QString refusalText(const char* lead, const Untrusted& refusal) {
  return QString::fromStdString(std::string(lead) + refusal.description() + ".");
}

// Makes a folder or file of the connection the user's alone (`secure` is
// secureFolder or secureFile), saying so when it took a permission away.
std::optional<Untrusted> secureOurs(const fs::path& path,
                                    std::optional<Untrusted> (*secure)(const fs::path&, uid_t, bool*)) {
  bool tightened = false;
  auto refusal = secure(path, ::geteuid(), &tightened);
  if (tightened)
    qCInfo(logStatusLine).noquote() << "Took the write permission of group and others from"
                                    << QString::fromStdString(path.string());
  return refusal;
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
  // What the relay will run: nothing from a record that others could have written.
  ChainedCommand chained = ChainedCommand::read(integration_.recordURL);
  StatusLineIntegration::State state = statusLine_;
  if (auto error = integration_.state(state)) {
    setStatusLineError(text(error->errorDescription()));
  } else {
    if (assign(statusLine_, state)) emit statusLineChanged();
    bool refused = chained.refusal && state == StatusLineIntegration::State::installed();
    setStatusLineError(refused ? std::optional(refusalText("Ovel won't run your own status line: ", *chained.refusal))
                               : std::nullopt);
  }
  if (assign(hasDownstreamCommand_, chained.command.has_value())) emit hasDownstreamCommandChanged();
}

void Integrations::setLaunchAtLogin(bool on) {
  if (!loginItem_) return;
  setLoginItemError(on ? loginItem_->registerItem() : loginItem_->unregisterItem());
  refresh();
}

void Integrations::connect(Date now) {
  std::optional<QString> error = installBridgeBinary();
  // A record already there is kept by a connect: it must be the user's own.
  if (!error) error = untrustedRecord("Ovel won't connect: ");
  if (!error) {
    if (auto failed = integration_.install(now)) error = text(failed->errorDescription());
  }
  // The record was written under the user's umask, which may let the group
  // write it; the relay would refuse it.
  if (!error) {
    if (auto refusal = secureOurs(integration_.recordURL, secureFile))
      error = refusalText("Ovel won't run your own status line: ", *refusal);
  }
  // The refresh clears the error of a good state read; the failure of the
  // connect itself must survive it.
  refresh();
  if (error) setStatusLineError(error);
}

void Integrations::disconnect() {
  // Disconnecting writes the record's status line into Claude Code's
  // settings, where Claude Code runs it: never one that others wrote.
  std::optional<QString> error = untrustedRecord("Ovel won't disconnect: ");
  if (!error) {
    if (auto failed = integration_.uninstall()) error = text(failed->errorDescription());
  }
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
  // Claude Code runs what lies there, and the relay what the record says:
  // only the user may write their folders.
  for (const fs::path& folder : {integration_.recordURL.parent_path(), target.parent_path()})
    if (auto refusal = secureOurs(folder, secureFolder)) return refusalText("Ovel won't connect: ", *refusal);
  std::string bytes;
  if (std::error_code error = readWholeFile(*source, bytes, kRelaySizeLimit)) return fileError(*source, error);
  // A copy is kept only when it is that file and no one else could have changed it.
  std::string installed;
  if (!readTrustedFile(target, installed, kRelaySizeLimit) && installed == bytes &&
      ClaudeLocator::isExecutableFile(target))
    return std::nullopt;
  // Claude Code may start the relay at any moment: it must never find the
  // file missing or half written. A new file renamed into place, so nothing
  // is ever written through a file that someone else put there.
  if (std::error_code error = writeFileAtomically(target, bytes, {.mode = 0755})) return fileError(target, error);
  return std::nullopt;
}

std::optional<QString> Integrations::untrustedRecord(const char* lead) const {
  std::optional<Untrusted> refusal = ChainedCommand::read(integration_.recordURL).refusal;
  if (!refusal) return std::nullopt;
  return refusalText(lead, *refusal);
}

}  // namespace ovel
