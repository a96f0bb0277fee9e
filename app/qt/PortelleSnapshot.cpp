// portelle-snapshot FILE.png: opens the main dialog for the installed server
// as the program's dialog mode does, saves what the display shows of it —
// with the window manager's frame when one runs — as a PNG and ends. It makes
// the documentation's screenshot (docs/screenshot.sh runs it on a virtual X
// display).
#include <QApplication>
#include <QEventLoop>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <cstdio>

#include "app/PortelleOperations.h"
#include "app/qt/PortelleDlgWindow.h"
#include "app/qt/QtUserInterface.h"
#include "app/server_info.h"

namespace {

// How long a window manager may take to frame the window, and to draw the
// frame once it has said how large it is.
constexpr int kFrameWaitMs = 5000;
constexpr int kFrameDrawMs = 500;

// Runs the event loop until `done` holds or `limit_ms` have passed.
template <typename Condition>
void RunEventsUntil(Condition done, int limit_ms) {
  bool timed_out = false;
  QTimer::singleShot(limit_ms, [&timed_out] { timed_out = true; });
  while (!done() && !timed_out) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: portelle-snapshot FILE.png\n", stderr);
    return 2;
  }
  const QString output = QString::fromLocal8Bit(argv[1]);
  QApplication application(argc, argv);
  QApplication::setWindowIcon(CPortelleDlgWindow::ApplicationIcon());
  CQtUserInterface ui;
  platform::ScopedUserInterface installed(&ui);

  double version = 0;
  std::u16string install_path;
  int32_t service_pack = 0;
  int32_t patch = 0;
  if (!app::GetServerInfo(&version, &install_path, &service_pack, &patch)) return 1;

  CPortelleOperations operations;
  CPortelleDlgWindow window(operations, version, service_pack, patch, install_path);
  window.show();
  RunEventsUntil(
      [&] { return window.windowHandle() != nullptr && window.windowHandle()->isExposed(); },
      kFrameWaitMs);
  RunEventsUntil([&] { return window.frameGeometry() != window.geometry(); }, kFrameWaitMs);
  RunEventsUntil([] { return false; }, kFrameDrawMs);
  // The pixels the display holds for the window and its frame, not a fresh
  // rendering.
  const QRect frame = window.frameGeometry();
  const QPixmap shot =
      window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
  if (shot.isNull() || !shot.save(output, "PNG")) {
    std::fprintf(stderr, "portelle-snapshot: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
