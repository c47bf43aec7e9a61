// Measures tarnwick's start, from the start of the process to the first
// paint of its main window, against an empty main window of the same client
// size with a one-menu bar, started and measured the same way; and how long
// a thumb drag of 300 scroll events takes.
//
//   tarnwick_bench [ROUNDS]     (runs the measurements; ROUNDS of each start)
// With DISPLAY set (for instance under Xvfb) the starts use that X server;
// without it, Qt's offscreen platform. The two programs are started in
// alternation, round by round, and their medians compared, so that the
// noise of the machine falls on both alike. The modes --empty and --editor
// are the programs whose starts are timed.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QMenuBar>
#include <QScrollBar>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "design.h"
#include "from1.h"

extern char** environ;

namespace {

// The descriptor on which a started program reports its first paint.
constexpr int kReportFd = 3;

// Reports once, right after the window's first paint has been handed to
// the window system, then ends the program.
class FirstPaint final : public QObject {
 public:
  explicit FirstPaint(QWidget& window) : window_(window) { qApp->installEventFilter(this); }

 protected:
  // The first paint of any widget of the window: the window itself may have
  // nothing of its own to paint.
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() != QEvent::Paint || seen_ || !watched->isWidgetType()) return false;
    if (static_cast<QWidget*>(watched)->window() == &window_) {
      seen_ = true;
      // Queued, so that it runs once this paint has been flushed.
      QTimer::singleShot(0, [] {
        const char done = 1;
        (void)!write(kReportFd, &done, 1);
        QCoreApplication::quit();
      });
    }
    return false;
  }

 private:
  QWidget& window_;
  bool seen_ = false;
};

int runUntilFirstPaint(QWidget& window, QApplication& app) {
  FirstPaint watch(window);
  window.show();
  return app.exec();
}

// Milliseconds from the spawn of `mode` to its report of the first paint.
double timeStart(const char* self, const char* mode) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return -1;
  // Neither end may sit on the report descriptor itself, or the child would
  // lose it (or write into whatever it opens there next).
  for (int& fd : fds) {
    if (fd > kReportFd) continue;
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, kReportFd + 1);
    close(fd);
    fd = moved;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], kReportFd);
  char* argv[] = {const_cast<char*>(self), const_cast<char*>(mode), nullptr};
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, self, &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  close(fds[1]);
  char done = 0;
  const bool painted = spawned == 0 && read(fds[0], &done, 1) == 1;
  const auto end = std::chrono::steady_clock::now();
  close(fds[0]);
  if (spawned == 0) waitpid(pid, nullptr, 0);
  if (!painted) return -1;
  return std::chrono::duration<double, std::milli>(end - start).count();
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
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
  if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (argc == 2 && std::strcmp(argv[1], "--empty") == 0) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("empty"));
    window.menuBar()->addMenu(QStringLiteral("File"));
    auto* client = new QWidget(&window);
    client->setFixedSize(tarnwick::toPixels(tarnwick::kClientWidth),
                         tarnwick::toPixels(tarnwick::kClientHeight));
    window.setCentralWidget(client);
    return runUntilFirstPaint(window, app);
  }
  if (argc == 2 && std::strcmp(argv[1], "--editor") == 0) {
    QApplication app(argc, argv);
    tarnwick::From1 window(std::make_unique<tarnwick::QtCommonDialog>(nullptr),
                           std::make_unique<tarnwick::FixedSeedRandom>());
    return runUntilFirstPaint(window, app);
  }
  const int rounds = argc == 2 ? std::max(1, std::atoi(argv[1])) : 41;
  std::vector<double> empty;
  std::vector<double> editor;
  for (int i = 0; i < rounds; ++i) {
    empty.push_back(timeStart(argv[0], "--empty"));
    editor.push_back(timeStart(argv[0], "--editor"));
  }
  if (std::count(empty.begin(), empty.end(), -1.0) || std::count(editor.begin(), editor.end(), -1.0)) {
    std::fprintf(stderr, "a program did not report its first paint\n");
    return 1;
  }
  const double e = median(empty);
  const double t = median(editor);
  std::printf("start to first paint (%s, median of %d, interleaved): empty window %.1f ms, "
              "tarnwick %.1f ms, ratio %.3f\n",
              qEnvironmentVariableIsEmpty("DISPLAY") ? "offscreen" : "X server", rounds, e, t,
              t / e);
  QApplication app(argc, argv);
  std::printf("thumb drag of 300 scroll events: %.1f ms, painting after each: %.1f ms\n",
              timeDrag(app, false), timeDrag(app, true));
  return 0;
}
