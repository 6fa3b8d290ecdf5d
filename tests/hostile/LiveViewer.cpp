// The real screens over a file set that its owner keeps rewriting:
//
//   ondrel-live-viewer DIR READY STOP
//
// opens LIVE via BYNO in DIR through the file chooser (past the splash), then
// writes the file READY and, until the file STOP appears, moves the scroll
// bar to random places and presses F5 every few moves.  After each step the
// window must hold records of the set in key order, unless the step told of
// a problem in a message box.  Prints what it saw; exits 0 when nothing was
// wrong and unflagged, 1 otherwise.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>
#include <cstdio>
#include <random>
#include <sstream>

#include "tests/screens/ScreenTestSupport.h"

namespace {

// What is wrong with the record lines of a window, or "".
std::string Inconsistency(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  long previous = 0;
  int firstVersion = -1;
  for (int n = 0; std::getline(in, line); ++n) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (n < 2 || line == ">> No Entries <<") continue;  // the heading
    int no = 0, version = 0, record = 0;
    char end = 0;
    if (std::sscanf(line.c_str(), "%6d V%4dR%6d%c", &no, &version, &record, &end) != 4 || end != ' ' ||
        no != record)
      return "no record: " + line;
    if (no <= previous) return "out of order: " + line;
    if (firstVersion < 0) firstVersion = version;
    if (version != firstVersion) return "two versions: " + line;
    previous = no;
  }
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s DIR READY STOP\n", argv[0]);
    return 2;
  }
  using namespace ondrel::screentest;
  QDir::setCurrent(QString::fromLocal8Bit(argv[1]));
  Screen s;
  MessageAnswerer answers;
  s.OpenFile(QStringLiteral("LIVE"), QStringLiteral("BYNO"));
  if (!answers.seen.empty() || Inconsistency(s.Text()) != "") {
    std::fprintf(stderr, "the set did not open cleanly\n");
    return 1;
  }
  QFile(QString::fromLocal8Bit(argv[2])).open(QIODevice::WriteOnly);

  std::mt19937 random(3);
  int steps = 0, clean = 0, flagged = 0, wrong = 0;
  while (!QFile::exists(QString::fromLocal8Bit(argv[3])) && steps < 100000) {
    const std::size_t before = answers.seen.size();
    if (steps % 5 == 4) {
      s.contents->Refresh_Key();
    } else {
      QScrollBar* bar = s.FilePos();
      bar->setValue(bar->minimum() + static_cast<int>(random() % static_cast<unsigned>(bar->maximum())));
    }
    QApplication::processEvents();
    ++steps;
    // A message, or the title's notice that the files changed on disk,
    // says the window may be out of date.
    if (answers.seen.size() != before ||
        s.contents->windowTitle().endsWith(QLatin1String(ondrel::kChangedOnDisk))) {
      ++flagged;
      continue;
    }
    const std::string problem = Inconsistency(s.Text());
    if (problem.empty()) {
      ++clean;
    } else {
      ++wrong;
      std::fprintf(stderr, "step %d showed, unflagged, %s\n%s\n", steps, problem.c_str(), s.Text().c_str());
    }
  }
  std::printf("%d steps: %d clean, %d flagged, %d wrong\n", steps, clean, flagged, wrong);
  return wrong == 0 && clean > 0 ? 0 : 1;
}
