#ifndef RESGRAFT_VCL_TOOLKIT_H_
#define RESGRAFT_VCL_TOOLKIT_H_

// The layer's own view of the toolkit beneath it: the table of live windows and
// the widgets behind handles. Used inside the layer and by its tests only;
// components and the program speak the layer's terms.

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include <QColor>
#include <QFont>
#include <QObject>
#include <QString>

#include "vcl/classes.h"
#include "vcl/controls.h"
#include "vcl/messages.h"
#include "vcl/shellapi.h"

class QEvent;
class QWidget;

namespace resgraft::vcl {

// Sits on a control's widget as its event filter and turns every event into a
// message through the control's WindowProc. It is also the context of the
// widget's signal connections: those run only while Control() is not null.
class WindowBridge : public QObject {
 public:
  WindowBridge(TWinControl* control, QWidget* widget);
  TWinControl* Control() const { return control_; }
  // Starts turning the widget's events into messages.
  void Attach();
  // The window is going: no more messages, no more signals.
  void Detach();
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  TWinControl* control_;
};

}  // namespace resgraft::vcl

namespace resgraft::vcl::toolkit {

// Entries under 32-bit handles. New handles count upwards, so a handle that has
// gone is not soon met again as another entry's; 0 and 0xFFFFFFFF are markers,
// never handles, and a live handle is never given twice.
template <class Entry>
class HandleTable {
 public:
  uint32_t Add(Entry entry) {
    uint32_t handle = next_;
    while (handle == 0 || handle == 0xFFFFFFFFu || entries_.contains(handle)) ++handle;
    next_ = handle + 1;
    entries_.emplace(handle, std::move(entry));
    return handle;
  }
  Entry* Find(uint32_t handle) {
    const auto it = entries_.find(handle);
    return it == entries_.end() ? nullptr : &it->second;
  }
  void Remove(uint32_t handle) { entries_.erase(handle); }

 private:
  std::unordered_map<uint32_t, Entry> entries_;
  uint32_t next_ = 0x00010000;
};

struct WindowEntry {
  QWidget* widget = nullptr;
  TWinControl* control = nullptr;  // null for windows that are not controls
  bool accepts_files = false;      // registered by DragAcceptFiles
};

// Enters `widget` in the table of live windows; returns its new handle, never 0,
// never 0xFFFFFFFF and never one that is live.
HWND RegisterWindow(QWidget* widget, TWinControl* control);
void UnregisterWindow(HWND handle);
// The entry of a live window, or null.
WindowEntry* FindWindow(HWND handle);

// The widget of a live window, or of a control whose window exists; else null.
QWidget* WidgetOf(HWND handle);
QWidget* WidgetOf(const TControl& control);

// Takes a widget out of use at once (hidden, off its parent) and deletes it when
// control returns to the event loop, so that a widget may go away from inside
// its own event handling.
void RetireWidget(QWidget* widget);

// The window that dialogs and message boxes belong to: `owner` when it is a
// shown window, else the active window, else the main form's, else none.
QWidget* DialogParent(HWND owner);

// The shell's part of a drag-and-drop event reaching the window `handle`: true
// when `event` was a drag event (the window never sees those as such). A drop
// that the window takes yields a new drop handle in `*drop` for WM_DROPFILES.
bool HandleShellDragEvent(HWND handle, QEvent* event, HDROP* drop);

// A drop handle holding `names` and `point` (as a drop would make one).
HDROP NewDrop(std::vector<std::string> names, TPoint point, bool in_client = true);
// Whether `drop` is a live drop handle.
bool IsDrop(HDROP drop);

// Bytes as the file system takes them, and back.
QString FromPathBytes(const std::string& bytes);
std::string ToPathBytes(const QString& path);
// Text bytes (UTF-8) and back.
QString FromTextBytes(const std::string& bytes);
std::string ToTextBytes(const QString& text);

// The toolkit's font for a TFont, and colour for a TColor.
QFont ToQFont(const TFont& font, const QFont& base);
QColor ToQColor(TColor color);

// Shows a modal message box above every window (the test seam aside): `text`
// with each CR LF as one line break, `caption`, the icon of `style`, one OK
// button. Returns IDOK.
int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, uint32_t style);

// Hands the exception in flight to the application's exception display.
void HandleDispatchException(TObject* sender);

}  // namespace resgraft::vcl::toolkit

#endif  // RESGRAFT_VCL_TOOLKIT_H_
