#include "platform/AutostartLoginItem.h"

#include <QHash>
#include <QStringList>

#include <algorithm>

#include "core/engine/OvelPaths.h"
#include "core/support/FileIO.h"

namespace ovel {
namespace fs = std::filesystem;
namespace {

// An autostart entry takes a few hundred bytes.
constexpr std::uint64_t kEntrySizeLimit = std::uint64_t{1} << 20;
const QString kReservedInExec = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
const QString kEscapedInQuotes = QStringLiteral("\"`$\\");

fs::path configHome() {
  if (auto config = nonEmptyEnvironment("XDG_CONFIG_HOME"); config && fs::path(*config).is_absolute()) return *config;
  return homeDirectory() / ".config";
}

// Desktop files escape backslashes and control characters in every string
// value, on top of the quoting inside Exec.
QString escapeStringValue(const QString& text) {
  QString escaped;
  for (QChar c : text) {
    if (c == u'\\') escaped += QStringLiteral("\\\\");
    else if (c == u'\n') escaped += QStringLiteral("\\n");
    else if (c == u'\t') escaped += QStringLiteral("\\t");
    else if (c == u'\r') escaped += QStringLiteral("\\r");
    else escaped += c;
  }
  return escaped;
}

QString unescapeStringValue(const QString& text) {
  static const QHash<QChar, QChar> kEscapes{{u's', u' '}, {u'n', u'\n'}, {u't', u'\t'}, {u'r', u'\r'}, {u'\\', u'\\'}};
  QString plain;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == u'\\' && i + 1 < text.size() && kEscapes.contains(text[i + 1])) plain += kEscapes[text[++i]];
    else plain += text[i];
  }
  return plain;
}

// The keys of the [Desktop Entry] group.
QHash<QString, QString> desktopEntryKeys(const std::string& text) {
  QHash<QString, QString> keys;
  bool inEntry = false;
  for (const QString& rawLine : QString::fromStdString(text).split(u'\n')) {
    QString line = rawLine.trimmed();
    if (line.isEmpty() || line.startsWith(u'#')) continue;
    if (line.startsWith(u'[')) {
      inEntry = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    auto equals = line.indexOf(u'=');
    if (inEntry && equals > 0) keys.insert(line.left(equals).trimmed(), line.mid(equals + 1).trimmed());
  }
  return keys;
}

QString failure(const QString& action, const fs::path& path, const std::error_code& error) {
  return QStringLiteral("Couldn't %1 the autostart entry %2: %3")
      .arg(action, QString::fromStdString(path.string()), QString::fromStdString(error.message()));
}

bool samePath(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return a == b || fs::equivalent(a, b, error);
}

}  // namespace

QString desktopExecValue(const fs::path& program) {
  QString argument = QString::fromStdString(program.string());
  bool needsQuotes = argument.isEmpty() ||
                     std::any_of(argument.begin(), argument.end(), [](QChar c) { return kReservedInExec.contains(c); });
  if (needsQuotes) {
    QString quoted = QStringLiteral("\"");
    for (QChar c : argument) {
      if (kEscapedInQuotes.contains(c)) quoted += u'\\';
      quoted += c;
    }
    argument = quoted + u'"';
  }
  argument.replace(u'%', QStringLiteral("%%"));
  return escapeStringValue(argument);
}

std::optional<fs::path> desktopExecProgram(const QString& exec) {
  QString value = unescapeStringValue(exec).trimmed();
  if (value.isEmpty()) return std::nullopt;
  QString program;
  if (value.startsWith(u'"')) {
    qsizetype i = 1;
    for (; i < value.size() && value[i] != u'"'; ++i) {
      if (value[i] == u'\\' && i + 1 < value.size()) ++i;
      program += value[i];
    }
    if (i == value.size()) return std::nullopt;
  } else {
    qsizetype end = 0;
    while (end < value.size() && value[end] != u' ' && value[end] != u'\t') ++end;
    program = value.left(end);
  }
  program.replace(QStringLiteral("%%"), QStringLiteral("%"));
  return fs::path(program.toStdString());
}

AutostartLoginItem::AutostartLoginItem(fs::path executable, QString name)
    : executable_(std::move(executable)), name_(std::move(name)) {}

fs::path AutostartLoginItem::entryPath() const {
  return configHome() / "autostart" / (name_.toStdString() + ".desktop");
}

bool AutostartLoginItem::isEnabled() const {
  auto text = readWholeFile(entryPath(), kEntrySizeLimit);
  if (!text) return false;
  auto keys = desktopEntryKeys(*text);
  auto program = desktopExecProgram(keys.value(QStringLiteral("Exec")));
  return program && samePath(*program, executable_) &&
         keys.value(QStringLiteral("Hidden")).compare(QStringLiteral("true"), Qt::CaseInsensitive) != 0 &&
         keys.value(QStringLiteral("X-GNOME-Autostart-enabled"))
                 .compare(QStringLiteral("false"), Qt::CaseInsensitive) != 0;
}

std::optional<QString> AutostartLoginItem::registerItem() {
  QStringList lines{
      QStringLiteral("[Desktop Entry]"),
      QStringLiteral("Type=Application"),
      QStringLiteral("Name=Ovel"),
      QStringLiteral("Comment=Paces your Claude Code plan limits"),
      QStringLiteral("Exec=") + desktopExecValue(executable_),
      QStringLiteral("Icon=") + name_,
      QStringLiteral("Terminal=false"),
      QStringLiteral("X-GNOME-Autostart-enabled=true"),
  };
  fs::path path = entryPath();
  if (auto error = writeFileAtomically(path, (lines.join(u'\n') + u'\n').toStdString()))
    return failure(QStringLiteral("save"), path, error);
  return std::nullopt;
}

std::optional<QString> AutostartLoginItem::unregisterItem() {
  fs::path path = entryPath();
  std::error_code error;
  fs::remove(path, error);
  if (error) return failure(QStringLiteral("remove"), path, error);
  return std::nullopt;
}

}  // namespace ovel
