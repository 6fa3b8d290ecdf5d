// The screens' arithmetic without widgets: database bytes as screen text and
// back, caret positions across CR LF line ends, and the tip zones.
#include <QTest>

#include "screens/ControlTips.h"
#include "screens/Cp1252.h"

using namespace ondrel;

class TextAndZonesTest : public QObject {
  Q_OBJECT

 private slots:
  void everyByteIsOneCharacterAndComesBack();
  void codePageCharacters();
  void textBoxLinesAndControlBytes();
  void caretPositionsAcrossLineEnds();
  void zonesReachBeyondTheirControls();
  void firstZoneWinsAndEdgesCount();
};

void TextAndZonesTest::everyByteIsOneCharacterAndComesBack() {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  const QString text = FromCp1252(all);
  QCOMPARE(text.size(), 256);
  QCOMPARE(ToCp1252(text), all);
  QCOMPARE(TextBoxDisplay(all).size(), 256);  // LF comes before CR: no line end here
  // Characters no byte gives come back as "?".
  QCOMPARE(ToCp1252(QString(QChar(0x4E2D)) + QChar(0x0100)), std::string("??"));
}

void TextAndZonesTest::codePageCharacters() {
  const struct {
    unsigned char byte;
    char16_t shown;
  } cases[] = {{0x41, u'A'},   {0x80, 0x20AC}, {0x81, 0x0081}, {0x85, 0x2026}, {0x8D, 0x008D},
               {0x8F, 0x008F}, {0x90, 0x0090}, {0x96, 0x2013}, {0x9D, 0x009D}, {0x9F, 0x0178},
               {0xA0, 0x00A0}, {0xE9, 0x00E9}, {0xFF, 0x00FF}};
  for (const auto& c : cases) {
    const std::string byte(1, static_cast<char>(c.byte));
    QCOMPARE(FromCp1252(byte), QString(QChar(c.shown)));
  }
}

void TextAndZonesTest::textBoxLinesAndControlBytes() {
  // CR LF ends a line; a lone CR or LF, a TAB, NUL and an undefined byte stay
  // in their line, one column each.
  const std::string text = std::string("A\rB\nC\tD") + '\0' + "\x81" + "E\r\nF\r\n";
  const QString shown = TextBoxDisplay(text);
  const QString square(QChar(0x25A1));
  QCOMPARE(shown, "A" + square + "B" + square + "C" + square + "D" + square + square + "E\nF\n");
  QCOMPARE(LabelDisplay("Record 1\r\nNO\r\n"), QStringLiteral("Record 1\nNO\n"));
}

void TextAndZonesTest::caretPositionsAcrossLineEnds() {
  const std::string text = "ab\r\ncd\r\n\r\nef";
  // Shown as "ab\ncd\n\nef": positions 0..10.
  const Long textAt[] = {0, 1, 2, 4, 5, 6, 8, 10, 11, 12};
  for (Long shown = 0; shown < 10; ++shown) {
    QCOMPARE(DisplayToTextPosition(text, shown), textAt[shown]);
    QCOMPARE(TextToDisplayPosition(text, textAt[shown]), shown);
  }
  // Between the CR and the LF: the end of that line.  Beyond the text: its end.
  QCOMPARE(TextToDisplayPosition(text, 3), Long{2});
  QCOMPARE(TextToDisplayPosition(text, 99), Long{9});
  QCOMPARE(DisplayToTextPosition(text, 99), Long{12});
  QCOMPARE(TextToDisplayPosition(text, -5), Long{0});
}

void TextAndZonesTest::zonesReachBeyondTheirControls() {
  const TipZone z = ZoneOf({1000, 2000, 300, 400}, 15, 12);
  QCOMPARE(z.Left, 955.0f);
  QCOMPARE(z.Right, 1330.0f);
  QCOMPARE(z.Top, 1964.0f);
  QCOMPARE(z.Bottom, 2424.0f);
}

void TextAndZonesTest::firstZoneWinsAndEdgesCount() {
  TipZones zones{};
  // Far away, except for two overlapping zones: FileTxt and FilePos.
  for (TipZone& z : zones) z = {-100, -90, -100, -90};
  zones[int(TipZoneId::FileTxt)] = {0, 100, 0, 100};
  zones[int(TipZoneId::FilePos)] = {90, 200, 0, 100};
  QCOMPARE(ZoneAt(zones, 95, 50), std::optional(TipZoneId::FileTxt));
  QCOMPARE(ZoneAt(zones, 100, 100), std::optional(TipZoneId::FileTxt));
  QCOMPARE(ZoneAt(zones, 100.5f, 50), std::optional(TipZoneId::FilePos));
  QCOMPARE(ZoneAt(zones, 200, 0), std::optional(TipZoneId::FilePos));
  QCOMPARE(ZoneAt(zones, 200.5f, 0), std::optional<TipZoneId>());
  QCOMPARE(ZoneAt(zones, 50, -0.5f), std::optional<TipZoneId>());
  QVERIFY(ZoneOfHideableControl(TipZoneId::Print) && ZoneOfHideableControl(TipZoneId::CopyToClipboard) &&
          ZoneOfHideableControl(TipZoneId::Enter));
  QVERIFY(!ZoneOfHideableControl(TipZoneId::Exit) && !ZoneOfHideableControl(TipZoneId::ChooseFile));
  QCOMPARE(std::string(TipText(TipZoneId::Exit)), std::string("Take a guess!"));
}

QTEST_APPLESS_MAIN(TextAndZonesTest)

#include "TextAndZonesTest.moc"
