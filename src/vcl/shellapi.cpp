#include "vcl/shellapi.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QWidget>

#include "vcl/toolkit.h"

namespace resgraft::vcl {
namespace {

struct Drop {
  std::vector<std::string> names;
  TPoint point;
  bool in_client = true;
};

toolkit::HandleTable<Drop>& Drops() {
  static toolkit::HandleTable<Drop> table;
  return table;
}

const Drop* FindDrop(HDROP handle) { return Drops().Find(handle); }

uint32_t Clamp32(size_t value) {
  return static_cast<uint32_t>(std::min<size_t>(value, std::numeric_limits<uint32_t>::max() - 1));
}

// The local files that a drag carries, as the file system names them, in the
// order of the drag. Other URLs are passed over.
std::vector<std::string> LocalFiles(const QMimeData* mime) {
  std::vector<std::string> names;
  if (mime == nullptr || !mime->hasUrls()) return names;
  for (const QUrl& url : mime->urls()) {
    if (!url.isLocalFile()) continue;
    const QString path = url.toLocalFile();
    if (!path.isEmpty()) names.push_back(toolkit::ToPathBytes(path));
  }
  return names;
}

void TakeDrag(QDropEvent* event) {
  if (event->possibleActions() & Qt::CopyAction) {
    event->setDropAction(Qt::CopyAction);
    event->accept();
  } else {
    event->acceptProposedAction();
  }
}

}  // namespace

namespace toolkit {

HDROP NewDrop(std::vector<std::string> names, TPoint point, bool in_client) {
  return Drops().Add(Drop{std::move(names), point, in_client});
}

bool IsDrop(HDROP drop) { return FindDrop(drop) != nullptr; }

bool HandleShellDragEvent(HWND handle, QEvent* event, HDROP* drop) {
  const WindowEntry* window = FindWindow(handle);
  const bool accepts = window != nullptr && window->accepts_files;
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDragMoveEvent*>(event);
      if (accepts && !LocalFiles(drag->mimeData()).empty()) {
        TakeDrag(drag);
      } else {
        drag->ignore();
      }
      return true;
    }
    case QEvent::DragLeave:
      return true;
    case QEvent::Drop: {
      auto* dropped = static_cast<QDropEvent*>(event);
      std::vector<std::string> names = accepts ? LocalFiles(dropped->mimeData()) : std::vector<std::string>{};
      if (names.empty()) {
        dropped->ignore();
        return true;
      }
      TakeDrag(dropped);
      const QPoint point = dropped->position().toPoint();
      *drop = NewDrop(std::move(names), TPoint{point.x(), point.y()}, window->widget->rect().contains(point));
      return true;
    }
    default:
      return false;
  }
}

}  // namespace toolkit

void DragAcceptFiles(HWND window, bool accept) {
  toolkit::WindowEntry* entry = toolkit::FindWindow(window);
  if (entry == nullptr) return;
  entry->accepts_files = accept;
  entry->widget->setAcceptDrops(accept);
}

uint32_t DragQueryFileA(HDROP drop, uint32_t index, char* buffer, uint32_t length) {
  const Drop* data = FindDrop(drop);
  if (data == nullptr) return 0;
  if (index == 0xFFFFFFFFu) return Clamp32(data->names.size());
  if (index >= data->names.size()) return 0;
  const std::string& name = data->names[index];
  if (buffer == nullptr) return Clamp32(name.size());
  if (length == 0) return 0;
  const size_t copied = std::min<size_t>(name.size(), length - 1);
  std::memcpy(buffer, name.data(), copied);
  buffer[copied] = '\0';
  return static_cast<uint32_t>(copied);
}

bool DragQueryPoint(HDROP drop, TPoint* point) {
  const Drop* data = FindDrop(drop);
  if (data == nullptr || point == nullptr) return false;
  *point = data->point;
  return data->in_client;
}

void DragFinish(HDROP drop) { Drops().Remove(drop); }

}  // namespace resgraft::vcl
