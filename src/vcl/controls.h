#ifndef RESGRAFT_VCL_CONTROLS_H_
#define RESGRAFT_VCL_CONTROLS_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "vcl/classes.h"
#include "vcl/messages.h"

// The toolkit's widget class: a control's window. Only the layer itself sees it.
class QWidget;

namespace resgraft::vcl {

class TControl;
class TWinControl;
class WindowBridge;

namespace toolkit {
QWidget* WidgetOf(const TControl& control);
}  // namespace toolkit

// A window procedure: every message of a control passes through one.
using TWndMethod = TMethod<TMessage&>;

// Colours: 0x00BBGGRR, or a system colour (high byte 0xFF, low byte its index).
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clWindow = -16777211;      // system colour 5 (0xFF000005)
constexpr TColor clWindowText = -16777208;  // system colour 8 (0xFF000008)
constexpr TColor clBtnFace = -16777201;     // system colour 15 (0xFF00000F)

enum TFontStyle : uint8_t { fsBold, fsItalic, fsUnderline, fsStrikeOut };
using TFontStyles = TSet<TFontStyle>;
using TFontCharset = uint8_t;
constexpr TFontCharset DEFAULT_CHARSET = 1;
constexpr TFontCharset SHIFTJIS_CHARSET = 128;

// A control's font. Name empty and Height 0 stand for the toolkit's own face and
// size. Height < 0 is the character height in pixels, > 0 the cell height.
class TFont {
 public:
  TFont() = default;
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name);
  int Height() const { return height_; }
  void SetHeight(int height);
  TFontCharset Charset() const { return charset_; }
  void SetCharset(TFontCharset charset);
  TColor Color() const { return color_; }
  void SetColor(TColor color);
  TFontStyles Style() const { return style_; }
  void SetStyle(TFontStyles style);

  // Takes every attribute of `source`, with one change notice.
  void Assign(const TFont& source);

 private:
  friend class TControl;
  void Changed();

  std::string name_;
  int height_ = 0;
  TFontCharset charset_ = DEFAULT_CHARSET;
  TColor color_ = clWindowText;
  TFontStyles style_;
  std::function<void()> on_change_;
};

// A control: its properties live in the object. A control placed on a windowed
// parent shows in the parent's window while that window exists.
class TControl : public TComponent {
 public:
  explicit TControl(TComponent* AOwner);
  ~TControl() override;

  TWinControl* Parent() const { return parent_; }
  // Moves the control to `AParent` (or takes it off any parent when null). Its
  // window, if any, goes; a new one is made at once when the new parent has one.
  void SetParent(TWinControl* AParent);

  int Left() const { return left_; }
  int Top() const { return top_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  void SetLeft(int left) { SetBounds(left, top_, width_, height_); }
  void SetTop(int top) { SetBounds(left_, top, width_, height_); }
  void SetWidth(int width) { SetBounds(left_, top_, width, height_); }
  void SetHeight(int height) { SetBounds(left_, top_, width_, height); }
  virtual void SetBounds(int left, int top, int width, int height);
  // The client area is the whole of a control's window (a form's frame belongs
  // to the window manager).
  int ClientWidth() const { return width_; }
  int ClientHeight() const { return height_; }
  void SetClientWidth(int width) { SetWidth(width); }
  void SetClientHeight(int height) { SetHeight(height); }

  // Caption and Text are one property: a button's caption, an edit box's text.
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string caption);
  const std::string& Text() const { return caption_; }
  void SetText(std::string text) { SetCaption(std::move(text)); }

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  bool Visible() const { return visible_; }
  virtual void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }

  // Changing the font clears ParentFont; while ParentFont is set the control
  // takes its parent's font.
  TFont& Font() { return font_; }
  const TFont& Font() const { return font_; }
  bool ParentFont() const { return parent_font_; }
  void SetParentFont(bool parent_font);
  TColor Color() const { return color_; }
  void SetColor(TColor color);

  // The replaceable window procedure; at first the control's own WndProc.
  const TWndMethod& WindowProc() const { return window_proc_; }
  void SetWindowProc(TWndMethod window_proc) { window_proc_ = window_proc; }
  // The control's own window procedure: lets the toolkit handle the message.
  virtual void WndProc(TMessage& Message);
  // Sends a message through WindowProc and returns its Result.
  intptr_t Perform(uint32_t Msg, uintptr_t WParam, intptr_t LParam);

 protected:
  // Builds the control's widget under `parent` (the parent's widget, or null
  // for a window of its own) and applies the properties held.
  virtual QWidget* CreateWidget(QWidget* parent) = 0;
  // Applies the properties held to the widget that exists.
  virtual void UpdateWidget();
  // Applies the caption to the widget that exists.
  virtual void ApplyCaption() {}
  // Applies the font to the widget that exists.
  void ApplyFont();
  // The parent's window now exists, or is about to go.
  virtual void ParentWindowCreated();
  virtual void ParentWindowDestroying();
  // Sends `message` through WindowProc. A message that the system raised (not
  // Perform) is guarded: an exception goes to the application's display.
  virtual void Send(TMessage& message, bool from_system);
  // The control's font has changed.
  virtual void FontChanged();

  // The properties, for the classes of the layer.
  void StoreCaption(std::string caption) { caption_ = std::move(caption); }
  void StoreBounds(int left, int top, int width, int height);
  void StoreVisible(bool visible) { visible_ = visible; }
  QWidget* widget_ = nullptr;

 private:
  friend class TWinControl;
  friend class WindowBridge;
  friend QWidget* toolkit::WidgetOf(const TControl& control);

  void TakeParentFont();
  void ApplyGeometry();

  TWinControl* parent_ = nullptr;
  int left_ = 0;
  int top_ = 0;
  int width_ = 0;
  int height_ = 0;
  std::string caption_;
  bool enabled_ = true;
  bool visible_ = true;
  TFont font_;
  bool parent_font_ = true;
  bool taking_parent_font_ = false;
  TColor color_ = clBtnFace;
  TWndMethod window_proc_;
};

// A control without a window of its own (a label): it shows inside its parent's.
class TGraphicControl : public TControl {
 public:
  explicit TGraphicControl(TComponent* AOwner) : TControl(AOwner) {}
  ~TGraphicControl() override;

 protected:
  void ParentWindowCreated() override;
  void ParentWindowDestroying() override;
};

// A windowed control. Its window (a toolkit widget) is created on demand by
// Handle, destroyed by DestroyHandle and created anew from the same properties.
// Creation sends WM_CREATE through WindowProc, then WM_SIZE and WM_MOVE;
// destruction sends WM_DESTROY while the handle is still valid. Every event that
// reaches the widget is sent through WindowProc as a TMessage; what reaches the
// control's own WndProc is handled by the toolkit as usual, what a procedure in
// front of it swallows is not. An exception from a message that the system
// raised goes to the application's exception display.
class TWinControl : public TControl {
 public:
  explicit TWinControl(TComponent* AOwner);
  ~TWinControl() override;

  // The window handle; creates the window (and its parent's first) when there
  // is none.
  HWND Handle();
  // Whether the window exists; never creates it.
  bool HandleAllocated() const { return handle_ != 0; }
  void HandleNeeded() { Handle(); }
  // Destroys the window (and the windows of the child controls); the properties
  // stay. Nothing when there is no window.
  void DestroyHandle();
  // Destroys the window and creates it anew when it exists.
  void RecreateWnd();

  // Child controls, in the order they were placed.
  int ControlCount() const { return static_cast<int>(controls_.size()); }
  TControl* Controls(int index) const;

  // Position among the windowed children of the parent in tab order; -1 when
  // the control has no parent. Setting it moves the control there.
  int TabOrder() const;
  void SetTabOrder(int tab_order);
  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool tab_stop);

  void SetVisible(bool visible) override;
  bool Focused() const;
  void SetFocus();
  // Moves the focus to the next (or previous) control in tab order among the
  // shown and enabled tab stops inside this control, round the end; false when
  // there is none. The Tab key does this in a form.
  bool SelectNext(bool forward);

  void WndProc(TMessage& Message) override;

 protected:
  QWidget* CreateWidget(QWidget* parent) override;
  void UpdateWidget() override;
  void ParentWindowCreated() override;
  void ParentWindowDestroying() override;
  void Send(TMessage& message, bool from_system) override;
  void FontChanged() override;
  // The shown and enabled tab stops inside this control, in tab order, depth
  // first.
  void CollectTabStops(std::vector<TWinControl*>& stops) const;
  // Connects the new widget's signals, with `bridge` as their context.
  virtual void ConnectWidget(WindowBridge& bridge);

 private:
  friend class TControl;
  friend class WindowBridge;

  struct DispatchFrame {
    DispatchFrame* outer = nullptr;
    bool toolkit_event = false;
    bool default_reached = false;
    bool control_gone = false;
  };

  void CreateHandle();
  void InsertControl(TControl* control);
  void RemoveControl(TControl* control);
  // Sends `message` through WindowProc inside a dispatch frame; true when the
  // control's own WndProc saw it (for toolkit events: let the toolkit handle it).
  bool Deliver(TMessage& message, bool toolkit_event, bool guarded);

  HWND handle_ = 0;
  WindowBridge* bridge_ = nullptr;
  DispatchFrame* frame_ = nullptr;
  std::vector<TControl*> controls_;
  std::vector<TWinControl*> tab_list_;
  bool tab_stop_ = true;
};

// The window of a live handle's control, or null (also for windows that are not
// controls, such as the application's).
TWinControl* FindControl(HWND handle);

// Whether `handle` names a live window.
bool IsWindow(HWND handle);

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_CONTROLS_H_
