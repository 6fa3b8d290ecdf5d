// ondrel-grab: saves the screen of the X server in $DISPLAY, or one window
// of it, to a PNG file.
//
//   ondrel-grab OUTPUT.png [X Y WIDTH HEIGHT]
//
// With a rectangle, only that area of the screen is saved (in pixels of the
// root window, as `xdotool getwindowgeometry` gives them); it must lie
// inside the screen.  Exits 0 when the file was written, 1 with a message
// otherwise.
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QRect>
#include <QScreen>
#include <QStringList>

#include <cstdio>

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "ondrel-grab: %s\n", qPrintable(message));
  return 1;
}

bool ToInt(const QString& text, int& value) {
  bool ok = false;
  value = text.toInt(&ok);
  return ok;
}

}  // namespace

int main(int argc, char* argv[]) {
  QGuiApplication app(argc, argv);
  const QStringList args = QGuiApplication::arguments();
  if (args.size() != 2 && args.size() != 6)
    return Fail(QStringLiteral("usage: ondrel-grab OUTPUT.png [X Y WIDTH HEIGHT]"));

  QScreen* screen = QGuiApplication::primaryScreen();
  if (screen == nullptr) return Fail(QStringLiteral("no screen"));
  const QRect whole(QPoint(0, 0), screen->size());

  QRect area = whole;
  if (args.size() == 6) {
    int x = 0, y = 0, w = 0, h = 0;
    if (!ToInt(args[2], x) || !ToInt(args[3], y) || !ToInt(args[4], w) || !ToInt(args[5], h) || w <= 0 || h <= 0)
      return Fail(QStringLiteral("the rectangle must be four whole numbers, with a width and height above 0"));
    area = QRect(x, y, w, h);
    if (!whole.contains(area))
      return Fail(QStringLiteral("the rectangle %1,%2 %3x%4 is not inside the screen of %5x%6")
                      .arg(x).arg(y).arg(w).arg(h).arg(whole.width()).arg(whole.height()));
  }

  // Window 0 is the root window: the whole screen as the server shows it.
  const QPixmap shot = screen->grabWindow(0, area.x(), area.y(), area.width(), area.height());
  if (shot.isNull()) return Fail(QStringLiteral("the screen could not be read"));
  if (!shot.toImage().save(args[1], "PNG")) return Fail(QStringLiteral("cannot write %1").arg(args[1]));
  return 0;
}
