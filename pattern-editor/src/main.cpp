// tarnwick: the pattern editor.
//   tarnwick [FILE]   opens FILE at start, as File > Open would
#include <QApplication>
#include <QCommandLineParser>
#include <cstdio>
#include <cstring>

#include "from1.h"

namespace {

void describe(QCommandLineParser& parser) {
  parser.setApplicationDescription(
      QStringLiteral("Edits light patterns of 50 rows by 4 cells, kept in .ptn files."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("file"),
                               QStringLiteral("A pattern file to open at start."),
                               QStringLiteral("[file]"));
}

// --help and --version are answered before any window system is needed.
bool answeredWithoutWindows(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (std::strcmp(a, "--help") == 0 || std::strcmp(a, "-h") == 0) {
      QCommandLineParser parser;
      describe(parser);
      const QString help = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                     QStringLiteral("tarnwick"));
      std::fputs(help.toLocal8Bit().constData(), stdout);
      return true;
    }
    if (std::strcmp(a, "--version") == 0 || std::strcmp(a, "-v") == 0) {
      std::printf("tarnwick %s\n", QUELLMARK_VERSION);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication::setApplicationName(QStringLiteral("tarnwick"));
  QCoreApplication::setApplicationVersion(QStringLiteral(QUELLMARK_VERSION));
  if (answeredWithoutWindows(argc, argv)) return 0;
  QApplication app(argc, argv);
  QCommandLineParser parser;
  describe(parser);
  parser.process(app);

  tarnwick::From1 from1(std::make_unique<tarnwick::QtCommonDialog>(nullptr),
                        std::make_unique<tarnwick::FixedSeedRandom>());
  // Closing the main window ends the program at once, whatever else is open.
  QObject::connect(&from1, &tarnwick::From1::closed, &app, &QCoreApplication::quit);
  from1.show();
  if (!parser.positionalArguments().isEmpty()) from1.openfile(parser.positionalArguments().first());
  return app.exec();
}
