// The program's start: the contents screen's load, the splash and its two
// buttons, the screen's layout and its state once the splash is dismissed.
#include <cstdio>
#include <cstring>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QCheckBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>

#include "screens/Fonts.h"
#include "screens/Logo.h"
#include "tests/screens/ScreenTestSupport.h"
#include "tools/writer/Damage.h"

using namespace ondrel;
using namespace ondrel::screentest;

namespace {

// The real program, run in a child process so that its real end can happen:
// the start and the end of main() as the program has them, with the real
// platform, and in between what `scenario` does:
//   Command1_0   the splash's "&OK", then "Exit" on the contents screen;
//   Command1_1   the splash's "&Exit";
//   incomplete   "&OK", then "Choose File", and in the chooser an ISPEC
//                whose data file is missing, whose message is answered.
// Each step writes a line; the child's exit status is what main() returns.
int ProgramScenario(int argc, char** argv, const char* scenario) {
  QApplication app(argc, argv);
  InstallFontFallbacks();
  const QString name = QString::fromLatin1(scenario);
  QTemporaryDir database;
  if (name == "incomplete") {
    BuildNumbered(database.path().toStdString(), "BROKEN", {.count = 3});
    writer::RemoveFile({database.path().toStdString(), "BROKEN"}, writer::FileKind::Data);
    QDir::setCurrent(database.path());
  }
  MessageAnswerer answers;
  answers.before = [](const MessageAnswerer::Seen& seen) {
    std::printf("message: %s\n", qPrintable(seen.title));
    std::fflush(stdout);
  };
  SharedState state;
  QtPlatform platform;
  Contents contents(state, platform);
  WhenModal(QStringLiteral("Logo"), [name](QWidget* logo) {
    std::printf("splash: %s\n", qPrintable(logo->findChild<QLabel*>(QStringLiteral("Label1_0"))->text()));
    std::fflush(stdout);
    const char* button = name == "Command1_1" ? "Command1_1" : "Command1_0";
    QTest::mouseClick(logo->findChild<QAbstractButton*>(QLatin1String(button)), Qt::LeftButton);
  });
  contents.Form_Load();
  if (platform.Ending()) {
    std::printf("ended at the splash\n");
    return 0;
  }
  contents.show();
  std::printf("shown\n");
  std::fflush(stdout);
  if (name == "incomplete") {
    WhenModal(QStringLiteral("FileOpen"), [](QWidget* chooser) {
      ClickEntry(chooser->findChild<QListWidget*>(QStringLiteral("LstIspec")), 0);
    });
  }
  const char* command = name == "incomplete" ? "Command1_0" : "Command1_1";
  QTimer::singleShot(0, &contents, [&contents, command] {
    QTest::mouseClick(contents.findChild<QAbstractButton*>(QLatin1String(command)), Qt::LeftButton);
  });
  const int code = app.exec();
  std::printf("event loop returned %d; window of %zu bytes, %s\n", code, contents.View().FileTxtText().size(),
              contents.isVisible() ? "on view" : "gone");
  return code;
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void startUpStates();
  void sharedStateAfterLoad();
  void layoutOfTheContentsScreen_data();
  void layoutOfTheContentsScreen();
  void tabOrderAndColours();
  void recordWindowFontIsFixedPitchAndNeverWraps();
  void splashShowsVersion();
  void splashExitHandlerEndsProgram();
  void endsOfTheRealProgram_data();
  void endsOfTheRealProgram();
};

void StartupTest::startUpStates() {
  Screen s;
  QCOMPARE(s.contents->windowTitle(), QStringLiteral("Ondrel Runtime File Contents"));
  QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Ondrel viewer"));
  for (const char* name : {"Command1_0", "Command1_1", "Tips", "FileTxt", "FilePos", "FilePosTxt", "Ords", "Line1_0",
                           "Line1_1", "Line1_2", "Line1_3", "Shape1"})
    QVERIFY2(s.Find<QWidget>(name)->isVisible(), name);
  for (const char* name : {"Command1_2", "Command1_3", "Tip", "Ptr", "Label1", "Label2"})
    QVERIFY2(s.Find<QWidget>(name)->isHidden(), name);
  for (int i = 0; i <= 12; ++i) QVERIFY(s.Part(i)->isHidden());
  QCOMPARE(s.FileTxt()->toPlainText(), QString());
  QCOMPARE(s.Label("FilePosTxt")->text(), QString());
  QCOMPARE(s.Label("Ords")->text(), QString());
  QVERIFY(!s.Find<QCheckBox>("Tips")->isChecked());
  QCOMPARE(QApplication::focusWidget(), static_cast<QWidget*>(s.Command(0)));
  QCOMPARE(s.Command(0)->text(), QStringLiteral("Choose File"));
  QCOMPARE(s.Command(1)->text(), QStringLiteral("Exit"));
  QCOMPARE(s.Command(2)->text(), QStringLiteral("Print"));
  QCOMPARE(s.Command(3)->text(), QStringLiteral("Copy to Clipboard"));
}

void StartupTest::sharedStateAfterLoad() {
  Screen s;
  QCOMPARE(s.state.LineBreak, std::string("\r\n"));
  QCOMPARE(s.state.Delimiter, std::string("\n"));
  QCOMPARE(s.state.TabChar, std::string("\t"));
  QCOMPARE(s.state.WindowLines, Integer{21});
  QVERIFY(s.state.WindowIdle);
  QCOMPARE(s.state.TwipsPerPixelX, Integer{15});
  QCOMPARE(s.state.TwipsPerPixelY, Integer{15});
  QCOMPARE(s.state.VersionText, std::string("2001.01.05"));
  QCOMPARE(s.FilePos()->singleStep(), 1);
  QCOMPARE(s.FilePos()->pageStep(), 21);
  QCOMPARE(s.FilePos()->minimum(), 1);
}

void StartupTest::layoutOfTheContentsScreen_data() {
  QTest::addColumn<QString>("name");
  QTest::addColumn<QRect>("twips");
  const struct {
    const char* name;
    int l, t, w, h;
  } design[] = {
      {"Command1_0", 6600, 0, 1695, 495},   {"Command1_1", 8400, 0, 735, 495},
      {"Command1_3", 6600, 600, 1695, 375}, {"Command1_2", 8400, 600, 735, 375},
      {"Tips", 120, 0, 735, 255},           {"Tip", 2760, 0, 3615, 225},
      {"Part_7", 1440, 0, 375, 255},        {"Part_8", 1800, 0, 375, 255},
      {"Part_9", 2160, 0, 375, 255},        {"Part_4", 1440, 240, 375, 255},
      {"Part_5", 1800, 240, 375, 255},      {"Part_6", 2160, 240, 375, 255},
      {"Part_1", 1440, 480, 375, 255},      {"Part_2", 1800, 480, 375, 255},
      {"Part_3", 2160, 480, 375, 255},      {"Part_10", 1440, 720, 375, 255},
      {"Part_0", 1800, 720, 375, 255},      {"Part_11", 2160, 720, 375, 255},
      {"Part_12", 600, 360, 855, 615},      {"FileTxt", 120, 1080, 8295, 5295},
      {"FilePos", 8400, 1080, 255, 5055},   {"Shape1", 8400, 6120, 270, 270},
  };
  for (const auto& d : design) QTest::newRow(d.name) << QString::fromLatin1(d.name) << QRect(d.l, d.t, d.w, d.h);
}

void StartupTest::layoutOfTheContentsScreen() {
  QFETCH(QString, name);
  QFETCH(QRect, twips);
  Screen s;
  QCOMPARE(s.contents->size(), QSize(9345 / 15, 6480 / 15));
  QCOMPARE(s.contents->minimumSize(), s.contents->maximumSize());
  const QWidget* w = s.Find<QWidget>(qPrintable(name));
  QVERIFY(w);
  QCOMPARE(w->geometry(), QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
}

void StartupTest::tabOrderAndColours() {
  Screen s;
  // The focus chain visits the controls that take the keyboard in the
  // design's order.
  QStringList chain;
  QWidget* w = s.Command(0);
  do {
    if (w->focusPolicy() & Qt::TabFocus) chain << w->objectName();
    w = w->nextInFocusChain();
  } while (w != s.Command(0));
  QStringList expected = {"Command1_0", "Command1_1", "FileTxt", "FilePos"};
  for (int i = 0; i <= 12; ++i) expected << QStringLiteral("Part_%1").arg(i);
  expected << "Tips" << "Command1_2" << "Command1_3";
  QCOMPARE(chain, expected);

  const QImage screen = s.contents->grab().toImage();
  QCOMPARE(QColor(screen.pixel(300, 60)), QColor(192, 192, 192));   // the window
  QCOMPARE(QColor(screen.pixel(6, 200)), QColor(128, 128, 128));    // Line1(0)
  QCOMPARE(QColor(screen.pixel(300, 426)), QColor(255, 255, 255));  // Line1(2)
  QCOMPARE(QColor(screen.pixel(200, 200)), QColor(255, 255, 255));  // the text box
  // The Tips check box stands on the window's grey, beside its caption too.
  const QWidget* tipsBox = s.Find<QWidget>("Tips");
  QCOMPARE(QColor(screen.pixel(tipsBox->x() + tipsBox->width() - 3, tipsBox->height() / 2)), QColor(192, 192, 192));
  s.Find<QCheckBox>("Tips")->setChecked(true);
  const QImage withTip = s.contents->grab().toImage();
  const QLabel* tip = s.Label("Tip");
  QCOMPARE(QColor(withTip.pixel(tip->x() + tip->width() - 3, tip->y() + tip->height() / 2)), QColor(255, 255, 0));
}

void StartupTest::recordWindowFontIsFixedPitchAndNeverWraps() {
  Screen s;
  const QFontInfo shown(s.FileTxt()->font());
  QVERIFY2(shown.fixedPitch(), qPrintable(shown.family()));
  QVERIFY2(shown.family() == "Courier New" || shown.family() == "Liberation Mono", qPrintable(shown.family()));
  QCOMPARE(s.FileTxt()->font().pointSizeF(), 8.25);
  QCOMPARE(s.Part(0)->font().pointSizeF(), 8.25);
  QVERIFY(!s.Part(0)->font().bold());
  QVERIFY(s.Command(0)->font().bold());
  const QFontInfo ords(s.Label("Ords")->font());
  QVERIFY2(ords.family() == "Arial" || ords.family() == "Liberation Sans", qPrintable(ords.family()));

  // A line far wider than the box stays one line; the box scrolls sideways.
  s.contents->View().SetFileTxtText(std::string(400, 'x') + "\r\n" + std::string(3, 'y'));
  QCOMPARE(s.FileTxt()->document()->blockCount(), 2);
  QCOMPARE(s.FileTxt()->document()->firstBlock().layout()->lineCount(), 1);
  QVERIFY(s.FileTxt()->horizontalScrollBar()->maximum() > 0);
}

void StartupTest::splashShowsVersion() {
  SharedState state;
  QtPlatform platform;
  Logo logo(state, platform);
  QCOMPARE(state.VersionText, std::string("2001.01.05"));
  QCOMPARE(logo.findChild<QLabel*>("Label1_0")->text(), QStringLiteral("Version 2001.01.05"));
  QCOMPARE(logo.findChild<QAbstractButton*>("Command1_0")->text(), QStringLiteral("&OK"));
  QCOMPARE(logo.findChild<QAbstractButton*>("Command1_1")->text(), QStringLiteral("&Exit"));
  QVERIFY(logo.windowTitle().endsWith("Runtime database viewer"));
  QVERIFY(logo.isModal());
}

void StartupTest::splashExitHandlerEndsProgram() {
  SharedState state;
  QtPlatform platform;
  int ends = 0;
  platform.SetEndProgramHook([&ends] {
    ++ends;
    throw ProgramEnded{};
  });
  Logo logo(state, platform);
  logo.show();
  bool ended = false;
  try {
    logo.Command1_Click(1);
  } catch (const ProgramEnded&) {
    ended = true;
  }
  QVERIFY(ended);
  QCOMPARE(ends, 1);

  logo.Command1_Click(0);
  QVERIFY(logo.isHidden());
  QCOMPARE(logo.result(), int(QDialog::Accepted));
  QCOMPARE(ends, 1);
}

void StartupTest::endsOfTheRealProgram_data() {
  // Every end runs down through the event loops to the end of main(), so
  // that the application's own shutdown runs; the splash's "&Exit" never
  // shows the contents screen, and a failed load in the chooser leaves the
  // contents screen as it was.
  QTest::addColumn<QString>("scenario");
  QTest::addColumn<QString>("output");
  QTest::newRow("OK, then Exit") << "Command1_0"
                                 << "splash: Version 2001.01.05\nshown\n"
                                    "event loop returned 0; window of 0 bytes, gone\n";
  QTest::newRow("Exit") << "Command1_1" << "splash: Version 2001.01.05\nended at the splash\n";
  QTest::newRow("incomplete file set") << "incomplete"
                                       << "splash: Version 2001.01.05\nshown\nmessage: OOPS!  I'm not all present.\n"
                                          "event loop returned 0; window of 0 bytes, gone\n";
}

void StartupTest::endsOfTheRealProgram() {
  QFETCH(QString, scenario);
  QFETCH(QString, output);
  QProcess program;
  program.setProcessChannelMode(QProcess::SeparateChannels);
  program.start(QCoreApplication::applicationFilePath(), {"--program-scenario", scenario});
  QVERIFY(program.waitForFinished(30000));
  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 0);
  QCOMPARE(QString::fromLocal8Bit(program.readAllStandardOutput()), output);
}

int main(int argc, char** argv) {
  if (argc > 2 && std::strcmp(argv[1], "--program-scenario") == 0) return ProgramScenario(1, argv, argv[2]);
  QApplication app(argc, argv);
  InstallFontFallbacks();
  StartupTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "StartupTest.moc"
