// ondrel-icon: draws the program's menu icon from its logo (the splash's
// picture) at one size of the icon theme, as a PNG file.
//
//   ondrel-icon LOGO.xpm SIZE OUTPUT.png
//
// The logo is drawn in 96 by 96 flat-coloured pixels.  A smooth scaling of
// it straight up to 256 would blur every edge, so it is first enlarged by a
// whole factor with each pixel copied, to at least twice SIZE, and then
// reduced to SIZE with averaging: edges stay sharp and are smoothed over
// one pixel of the result, at any size.  Exits 0 when the file was written,
// 1 with a message otherwise.  Needs no display.
#include <QImage>
#include <QString>

#include <cstdio>

namespace {

int Fail(const QString& message) {
  std::fprintf(stderr, "ondrel-icon: %s\n", qPrintable(message));
  return 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc != 4) return Fail(QStringLiteral("usage: ondrel-icon LOGO.xpm SIZE OUTPUT.png"));
  const QString logoPath = QString::fromLocal8Bit(argv[1]);
  const QString outPath = QString::fromLocal8Bit(argv[3]);
  bool ok = false;
  const int size = QString::fromLocal8Bit(argv[2]).toInt(&ok);
  // The icon theme's sizes run from 16 to 512 pixels.
  if (!ok || size < 16 || size > 512) return Fail(QStringLiteral("SIZE must be a whole number from 16 to 512"));

  QImage logo;
  if (!logo.load(logoPath)) return Fail(QStringLiteral("cannot read the logo %1").arg(logoPath));
  if (logo.width() != logo.height() || logo.width() == 0)
    return Fail(QStringLiteral("the logo %1 is %2x%3 pixels; an icon needs a square")
                    .arg(logoPath).arg(logo.width()).arg(logo.height()));
  // Averaged in premultiplied form, so that the transparent pixels around
  // the logo do not darken its edges.
  logo = logo.convertToFormat(QImage::Format_ARGB32_Premultiplied);

  const int factor = (2 * size + logo.width() - 1) / logo.width();
  const QImage large = logo.scaled(logo.width() * factor, logo.height() * factor, Qt::IgnoreAspectRatio,
                                   Qt::FastTransformation);
  const QImage icon = large.scaled(size, size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                          .convertToFormat(QImage::Format_ARGB32);
  if (icon.isNull()) return Fail(QStringLiteral("the logo could not be scaled to %1 pixels").arg(size));
  // No time stamp or other text chunk: the same logo gives the same file.
  if (!icon.save(outPath, "PNG")) return Fail(QStringLiteral("cannot write %1").arg(outPath));
  return 0;
}
