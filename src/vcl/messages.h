#ifndef RESGRAFT_VCL_MESSAGES_H_
#define RESGRAFT_VCL_MESSAGES_H_

#include <cstdint>

namespace resgraft::vcl {

// A window handle: a 32-bit value handed out from the table of live windows.
// Never 0 and never all bits set, so both can serve as markers.
using HWND = uint32_t;

// The message record that travels through a control's window procedure.
struct TMessage {
  uint32_t Msg = 0;
  uintptr_t WParam = 0;
  intptr_t LParam = 0;
  intptr_t Result = 0;
};

// Message numbers, with their classic values.
constexpr uint32_t WM_CREATE = 0x0001;
constexpr uint32_t WM_DESTROY = 0x0002;
constexpr uint32_t WM_MOVE = 0x0003;  // LParam: MakeLParam(left, top)
constexpr uint32_t WM_SIZE = 0x0005;  // LParam: MakeLParam(width, height)
constexpr uint32_t WM_SETFOCUS = 0x0007;
constexpr uint32_t WM_KILLFOCUS = 0x0008;
constexpr uint32_t WM_ENABLE = 0x000A;  // WParam: 1 enabled, 0 disabled
constexpr uint32_t WM_PAINT = 0x000F;
constexpr uint32_t WM_CLOSE = 0x0010;
constexpr uint32_t WM_SHOWWINDOW = 0x0018;  // WParam: 1 shown, 0 hidden
constexpr uint32_t WM_CONTEXTMENU = 0x007B;
constexpr uint32_t WM_KEYDOWN = 0x0100;  // WParam: the toolkit's key code
constexpr uint32_t WM_KEYUP = 0x0101;
constexpr uint32_t WM_MOUSEMOVE = 0x0200;  // LParam: MakeLParam(x, y)
constexpr uint32_t WM_LBUTTONDOWN = 0x0201;
constexpr uint32_t WM_LBUTTONUP = 0x0202;
constexpr uint32_t WM_LBUTTONDBLCLK = 0x0203;
constexpr uint32_t WM_RBUTTONDOWN = 0x0204;
constexpr uint32_t WM_RBUTTONUP = 0x0205;
constexpr uint32_t WM_RBUTTONDBLCLK = 0x0206;
constexpr uint32_t WM_MBUTTONDOWN = 0x0207;
constexpr uint32_t WM_MBUTTONUP = 0x0208;
constexpr uint32_t WM_MBUTTONDBLCLK = 0x0209;
constexpr uint32_t WM_MOUSEWHEEL = 0x020A;  // WParam high word: the wheel delta
constexpr uint32_t WM_DROPFILES = 0x0233;   // WParam: the drop handle (HDROP)
constexpr uint32_t WM_APP = 0x8000;

// Any other event of the toolkit beneath the layer: WParam holds the toolkit's
// event type, LParam an opaque pointer to the event, valid during the message only.
constexpr uint32_t WM_TOOLKITEVENT = WM_APP + 0x0F00;

// Two signed 16-bit values packed as the classic LParam of mouse, size and move
// messages: low word first.
constexpr intptr_t MakeLParam(int low, int high) {
  return static_cast<intptr_t>((static_cast<uint32_t>(high) & 0xFFFFu) << 16 |
                               (static_cast<uint32_t>(low) & 0xFFFFu));
}
constexpr int LParamLow(intptr_t lparam) {
  return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uintptr_t>(lparam) & 0xFFFFu));
}
constexpr int LParamHigh(intptr_t lparam) {
  return static_cast<int16_t>(
      static_cast<uint16_t>((static_cast<uintptr_t>(lparam) >> 16) & 0xFFFFu));
}

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_MESSAGES_H_
