// tarnwick: the pattern editor.
#include <QApplication>

#include "from1.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  tarnwick::From1 from1(std::make_unique<tarnwick::QtCommonDialog>(nullptr),
                        std::make_unique<tarnwick::FixedSeedRandom>());
  // Closing the main window ends the program at once, whatever else is open.
  QObject::connect(&from1, &tarnwick::From1::closed, &app, &QCoreApplication::quit);
  from1.show();
  return app.exec();
}
