#pragma once

#include <QString>
#include <QUrl>

class QWidget;

// What the console asks of the desktop: modal message boxes, the browser, and ending
// the program. Tests give their own, so no box ever waits for a click there.
namespace brivane {

class ConsoleDesktop {
 public:
  enum class Icon { None, Information, Warning };

  virtual ~ConsoleDesktop() = default;
  // Returns once the box has been closed.
  virtual void ShowMessage(QWidget* owner, Icon icon, const QString& title,
                           const QString& text) = 0;
  // False when no handler could open the address.
  virtual bool OpenUrl(const QUrl& url) = 0;
  // Ends the program at once, without closing the window first.
  virtual void EndProgram() = 0;
};

class QtDesktop : public ConsoleDesktop {
 public:
  void ShowMessage(QWidget* owner, Icon icon, const QString& title, const QString& text) override;
  bool OpenUrl(const QUrl& url) override;
  [[noreturn]] void EndProgram() override;
};

}  // namespace brivane
