#ifndef RESGRAFT_VCL_SHELLAPI_H_
#define RESGRAFT_VCL_SHELLAPI_H_

#include <cstdint>

#include "vcl/classes.h"
#include "vcl/controls.h"  // IsWindow
#include "vcl/messages.h"  // WM_DROPFILES

namespace resgraft::vcl {

// A drop handle: names the files of one drop and the point where they landed.
// Never 0. It stays valid until DragFinish, and at most until the WM_DROPFILES
// that carried it has returned.
using HDROP = uint32_t;

// Registers the window as a target for files dragged from the desktop, or
// revokes it. A registered window refuses drags that carry no local file; a
// window that is not registered refuses every drag. A drop on a registered
// window arrives as WM_DROPFILES, WParam the drop handle. Nothing for a handle
// that is not a window.
void DragAcceptFiles(HWND window, bool accept);

// index 0xFFFFFFFF: the number of names in the drop.
// buffer null: the length in bytes of name `index`, its terminating zero not
// counted.
// Else: copies at most `length` - 1 bytes of name `index` and a zero into
// `buffer` and returns the number of name bytes copied; nothing is written when
// `length` is 0.
// 0 for a handle that is not a live drop or an index past the names.
uint32_t DragQueryFileA(HDROP drop, uint32_t index, char* buffer, uint32_t length);

// Stores the drop point in client coordinates of the window that received the
// drop; true when it lies inside the client area. False (and nothing stored) for
// a handle that is not a live drop.
bool DragQueryPoint(HDROP drop, TPoint* point);

// Releases the drop handle; nothing for a handle that is not a live drop.
void DragFinish(HDROP drop);

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_SHELLAPI_H_
