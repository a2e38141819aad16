// Runs every window test class linked into the program, as one program per
// family of windows so that the slow Qt links stay few.
#include <QApplication>
#include <QTest>

#include "window_test_support.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  app.setAttribute(Qt::AA_Use96Dpi, true);
  int failed = 0;
  for (const auto& make : kovrad::manager::test::WindowTests()) {
    const std::unique_ptr<QObject> test = make();
    if (QTest::qExec(test.get(), argc, argv) != 0) ++failed;
  }
  return failed == 0 ? 0 : 1;
}
