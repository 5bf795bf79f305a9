#ifndef RESGRAFT_TESTS_VCL_VCL_TEST_SUPPORT_H_
#define RESGRAFT_TESTS_VCL_VCL_TEST_SUPPORT_H_

#include <functional>
#include <string>
#include <vector>

#include <QCoreApplication>
#include <QDropEvent>
#include <QMimeData>
#include <QStringList>
#include <QUrl>
#include <QWidget>

#include "vcl/controls.h"
#include "vcl/messages.h"

namespace resgraft::vcl::testing {

// Stands in front of a control's window procedure and records every message
// that reaches it, passing each on unchanged. When the log goes first, it puts
// the procedure back (if nothing has been put in front of it since).
class MessageLog {
 public:
  explicit MessageLog(TControl& control) : next_(control.WindowProc()), watcher_(&control) {
    control.SetWindowProc(Method());
  }
  ~MessageLog() {
    TControl* control = watcher_.control;
    if (control != nullptr && control->WindowProc() == Method()) control->SetWindowProc(next_);
  }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  TWndMethod Method() { return TWndMethod(this, &MessageLog::Proc); }

  void Proc(TMessage& message) {
    messages.push_back(message);
    if (on_message) on_message(message);
    next_(message);
  }

  std::vector<uint32_t> Numbers() const {
    std::vector<uint32_t> numbers;
    for (const TMessage& message : messages) numbers.push_back(message.Msg);
    return numbers;
  }
  // The message numbers without the toolkit's own events.
  std::vector<uint32_t> ClassicNumbers() const {
    std::vector<uint32_t> numbers;
    for (const TMessage& message : messages) {
      if (message.Msg != WM_TOOLKITEVENT) numbers.push_back(message.Msg);
    }
    return numbers;
  }
  bool Saw(uint32_t msg) const {
    for (const TMessage& message : messages) {
      if (message.Msg == msg) return true;
    }
    return false;
  }

  std::vector<TMessage> messages;
  std::function<void(TMessage&)> on_message;

 private:
  // Hears of the control's removal.
  struct Watcher : TComponent {
    explicit Watcher(TControl* watched) : TComponent(nullptr), control(watched) { FreeNotification(watched); }
    void Notification(TComponent* AComponent, TOperation Operation) override {
      TComponent::Notification(AComponent, Operation);
      if (Operation == opRemove && AComponent == control) control = nullptr;
    }
    TControl* control;
  };

  TWndMethod next_;
  Watcher watcher_;
};

struct DragResult {
  bool enter_accepted;
  bool drop_accepted;
};

// Drags local files onto `widget` as the desktop would: a drag entering at
// `point`, then the drop there, both through the toolkit's event delivery.
inline DragResult DragFiles(QWidget* widget, const QStringList& paths, QPoint point) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  mime.setUrls(urls);
  QDragEnterEvent enter(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &enter);
  QDropEvent drop(QPointF(point), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(widget, &drop);
  return DragResult{enter.isAccepted(), drop.isAccepted()};
}

// Deletes the widgets that windows left behind when they were destroyed.
inline void FlushRetiredWidgets() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

}  // namespace resgraft::vcl::testing

#endif  // RESGRAFT_TESTS_VCL_VCL_TEST_SUPPORT_H_
