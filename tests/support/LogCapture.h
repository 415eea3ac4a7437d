// What Ovel says in its log while a test runs: every message Qt logs while a
// LogCapture lives is kept (and still passed on to the handler before it).
#pragma once

#include <QMessageLogContext>
#include <QString>
#include <QtGlobal>

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace ovel::test {

class LogCapture {
 public:
  struct Line {
    QtMsgType type;
    std::string category;
    std::string text;
  };

  // One at a time.
  LogCapture() {
    current() = this;
    previous_ = qInstallMessageHandler(&LogCapture::handle);
  }
  ~LogCapture() {
    qInstallMessageHandler(previous_);
    current() = nullptr;
  }
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  // The warnings of `category` so far that contain `part`.
  std::vector<std::string> warnings(std::string_view category, std::string_view part = {}) const {
    return messages(QtWarningMsg, category, part);
  }
  // The same for messages of any type.
  std::vector<std::string> messages(QtMsgType type, std::string_view category, std::string_view part = {}) const {
    std::lock_guard guard(mutex_);
    std::vector<std::string> found;
    for (const Line& line : lines_)
      if (line.type == type && line.category == category && line.text.find(part) != std::string::npos)
        found.push_back(line.text);
    return found;
  }

 private:
  static LogCapture*& current() {
    static LogCapture* capture = nullptr;
    return capture;
  }
  static void handle(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    LogCapture* capture = current();
    if (!capture) return;
    {
      std::lock_guard guard(capture->mutex_);
      capture->lines_.push_back({type, context.category ? context.category : "", message.toStdString()});
    }
    if (capture->previous_) capture->previous_(type, context, message);
  }

  QtMessageHandler previous_ = nullptr;
  mutable std::mutex mutex_;
  std::vector<Line> lines_;
};

}  // namespace ovel::test
