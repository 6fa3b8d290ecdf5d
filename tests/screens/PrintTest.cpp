// "Print" on paper: two presses through the system's default printer, read
// back from the PDF a print queue makes of them, and the PDF file the program
// writes itself when there is no printer.
#include <pwd.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QPrinterInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>

#include "screens/Fonts.h"
#include "screens/QtPrinter.h"
#include "tests/screens/ScreenTestSupport.h"
#include "tools/writer/IspecBuilder.h"

using namespace ondrel;
using namespace ondrel::screentest;

namespace {

// Record i of WIDE: its line in the window fills 90 columns, the last one a
// blank.
std::string WideText(int i) {
  char head[8];
  std::snprintf(head, sizeof head, "T%04d", i);
  return head + std::string(74, 'x') + "END";
}

QString PdfText(const QString& path, const QStringList& options) {
  QProcess p;
  p.start("pdftotext", options + QStringList{path, "-"});
  if (!p.waitForFinished(30000)) return {};
  return QString::fromUtf8(p.readAllStandardOutput());
}

// A line as text extraction can give it back: the blanks in front (counted
// from the left-most text on the page) are kept, a run of blanks between two
// words becomes one, as the extraction cannot tell them apart, and trailing
// blanks go.
QString Comparable(QString line) {
  line.remove('\f');
  const qsizetype indent = line.size() - QString(line).remove(QRegularExpression("^ +")).size();
  return QString(indent, ' ') + line.simplified();
}

// The lines that carry text.
QStringList TextLines(const QString& text) {
  QStringList lines;
  for (const QString& line : text.split('\n'))
    if (!line.trimmed().isEmpty()) lines << Comparable(line);
  return lines;
}

// What the two presses print, the window's two heading lines as given.
QStringList ExpectedLines(const QStringList& heading) {
  QStringList lines = {QString(36, ' ') + "Version 2001.01.05"};
  const auto window = [&](int first, int last, int captionBlanks) {
    lines << QString(39, ' ') + "WIDE via ALL";
    lines << QString(captionBlanks, ' ') + QStringLiteral("Record %1 thru %2 of 30").arg(first).arg(last);
    for (const QString& line : heading) lines << Comparable(line);
    for (int i = first; i <= last; ++i)
      lines << QStringLiteral("%1 %2").arg(100000 + i).arg(QString::fromStdString(WideText(i)));
  };
  window(1, 21, 34);
  window(10, 30, 34);
  return lines;
}

// Prints the windows at entries 1 and 10 and returns the window's heading
// lines, trailing blanks removed.
QStringList PrintTwoPresses(Screen& s) {
  s.OpenFile("WIDE", "ALL");
  Click(s.Command(2));
  s.FilePos()->setValue(10);
  Click(s.Command(2));
  QStringList heading = QString::fromStdString(s.Text()).split("\r\n").mid(0, 2);
  for (QString& line : heading)
    while (line.endsWith(' ')) line.chop(1);
  return heading;
}

}  // namespace

class PrintTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase();
  void printsOnTheDefaultPrinter();
  void savesAPdfWhenThereIsNoPrinter();

 private:
  std::unique_ptr<WorkDir> dir_;
};

void PrintTest::initTestCase() {
  dir_ = std::make_unique<WorkDir>();
  writer::IspecContent wide;
  wide.name = "WIDE";
  wide.definition.fields = {{"NO", 1, "N", 6, 0}, {"TEXT", 2, "A", 82, 0}};
  for (int i = 1; i <= 30; ++i) wide.records.push_back({{std::to_string(100000 + i), WideText(i)}});
  wide.profiles = {{.name = "ALL", .keyFields = {{"NO"}}}};
  writer::BuildIspec(dir_->Path(), wide);
}

void PrintTest::printsOnTheDefaultPrinter() {
  QCOMPARE(QPrinterInfo::defaultPrinter().printerName(), QStringLiteral("PDF"));
  // The queue's driver writes into the PDF folder of the user's home.
  const QDir out(QString::fromLocal8Bit(getpwuid(getuid())->pw_dir) + "/PDF");
  const QStringList before = out.entryList({"*.pdf"}, QDir::Files);

  Screen s;
  MessageAnswerer answers;
  const QStringList heading = PrintTwoPresses(s);
  QVERIFY(answers.seen.empty());

  QString pdf;
  QTRY_VERIFY_WITH_TIMEOUT(
      [&] {
        for (const QString& name : QDir(out).entryList({"*.pdf"}, QDir::Files))
          if (!before.contains(name)) pdf = out.filePath(name);
        return !pdf.isEmpty() && !TextLines(PdfText(pdf, {"-layout"})).isEmpty();
      }(),
      60000);
  const QStringList lines = TextLines(PdfText(pdf, {"-layout"}));
  QFile::remove(pdf);
  QCOMPARE(lines, ExpectedLines(heading));
}

void PrintTest::savesAPdfWhenThereIsNoPrinter() {
  QVERIFY(!QtPrinter::PrinterAvailable());
  Screen s;
  MessageAnswerer answers;
  const QStringList heading = PrintTwoPresses(s);
  QCOMPARE(int(answers.seen.size()), 1);
  const QString text = answers.seen[0].text;
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  QVERIFY2(text.startsWith("No printer is available.  The document has been saved as a PDF file:\n" + folder + "/"),
           qPrintable(text));
  const QString pdf = text.section('\n', 1);
  QVERIFY(QFileInfo::exists(pdf));
  QCOMPARE(TextLines(PdfText(pdf, {"-layout"})), ExpectedLines(heading));

  // The 90 columns fit the page: the last word of a full line ends inside it.
  const QString boxes = PdfText(pdf, {"-bbox"});
  const QRegularExpression page(R"re(<page width="([0-9.]+)")re");
  const QRegularExpression lastWord(
      R"re(<word xMin="[0-9.]+" yMin="[0-9.]+" xMax="([0-9.]+)"[^>]*>T0001x+END</word>)re");
  const auto pageMatch = page.match(boxes);
  const auto wordMatch = lastWord.match(boxes);
  QVERIFY(pageMatch.hasMatch() && wordMatch.hasMatch());
  QVERIFY(wordMatch.captured(1).toDouble() < pageMatch.captured(1).toDouble());
  QFile::remove(pdf);
}

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  PrintTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "PrintTest.moc"
