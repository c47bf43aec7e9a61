// Measures, on Qt's offscreen platform, how long tarnwick takes to start
// until its window is shown, against an empty main window started the same
// way, and how long a thumb drag of 300 scroll events takes.
//
//   tarnwick_bench           (runs the three measurements)
// The modes --empty and --editor are the programs whose starts are timed.
#include <spawn.h>
#include <sys/wait.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "from1.h"

extern char** environ;

namespace {

// Shows the window and ends as soon as the event loop has shown it.
int showAndQuit(QWidget& window, QApplication& app) {
  window.show();
  QTimer::singleShot(0, &app, &QCoreApplication::quit);
  return app.exec();
}

double timeStart(const char* self, const char* mode) {
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  if (posix_spawn(&pid, self, nullptr, nullptr, argv, environ) != 0) return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
      .count();
}

double bestStart(const char* self, const char* mode) {
  double best = 1e9;
  for (int i = 0; i < 15; ++i) best = std::min(best, timeStart(self, mode));
  return best;
}

// The best of five drags over the whole range; with `paintEach`, the window
// is painted after every scroll event, else Qt paints once the events are
// handled, as it does when they come faster than the screen refreshes.
double timeDrag(QApplication& app, bool paintEach) {
  tarnwick::From1 window(std::make_unique<tarnwick::QtCommonDialog>(nullptr),
                         std::make_unique<tarnwick::FixedSeedRandom>());
  window.show();
  app.processEvents();
  QScrollBar* bar = window.scrollBar();
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    const int from = bar->value();
    const int step = from == 0 ? 1 : -1;
    QElapsedTimer timer;
    timer.start();
    bar->setSliderDown(true);
    for (int i = 1; i <= 300; ++i) {
      bar->setSliderPosition(from + step * i);
      if (paintEach) app.processEvents();
    }
    bar->setSliderDown(false);
    app.processEvents();
    best = std::min(best, timer.nsecsElapsed() / 1e6);
  }
  return best;
}

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc == 2 && std::strcmp(argv[1], "--empty") == 0) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("empty"));
    return showAndQuit(window, app);
  }
  if (argc == 2 && std::strcmp(argv[1], "--editor") == 0) {
    QApplication app(argc, argv);
    tarnwick::From1 window(std::make_unique<tarnwick::QtCommonDialog>(nullptr),
                           std::make_unique<tarnwick::FixedSeedRandom>());
    return showAndQuit(window, app);
  }
  const double empty = bestStart(argv[0], "--empty");
  const double editor = bestStart(argv[0], "--editor");
  std::printf("start: empty window %.1f ms, tarnwick %.1f ms, ratio %.2f\n", empty, editor,
              editor / empty);
  QApplication app(argc, argv);
  std::printf("thumb drag of 300 scroll events: %.1f ms, painting after each: %.1f ms\n",
              timeDrag(app, false), timeDrag(app, true));
  return 0;
}
