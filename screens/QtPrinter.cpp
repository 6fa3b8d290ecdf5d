#include "screens/QtPrinter.h"

#include <cmath>

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStandardPaths>

#include "screens/Cp1252.h"

namespace ondrel {

namespace {

// The largest size, in steps of a quarter point, at which 90 columns of the
// font fit the width.
void FitColumns(QFont& font, QPaintDevice* device, qreal width) {
  font.setPointSizeF(10.0);
  const qreal atTen = QFontMetricsF(font, device).horizontalAdvance(QString(kPrintColumns, QChar('0')));
  qreal size = atTen > 0 ? 10.0 * width / atTen : 10.0;
  size = std::floor(size * 4.0) / 4.0;
  for (; size > 1.0; size -= 0.25) {
    font.setPointSizeF(size);
    if (QFontMetricsF(font, device).horizontalAdvance(QString(kPrintColumns, QChar('0'))) <= width) break;
  }
}

QString NewPdfPath(const QString& folder) {
  const QString stem =
      QStringLiteral("Ondrel print ") + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh.mm.ss"));
  QString path = QDir(folder).filePath(stem + QStringLiteral(".pdf"));
  for (int n = 2; QFileInfo::exists(path); ++n)
    path = QDir(folder).filePath(stem + QStringLiteral(" (%1).pdf").arg(n));
  return path;
}

}  // namespace

bool RenderDocument(QPagedPaintDevice& device, const std::vector<std::string>& lines) {
  QPainter painter;
  if (!painter.begin(&device)) return false;
  const QRectF page = device.pageLayout().paintRectPixels(device.logicalDpiX());
  QFont font(QStringLiteral("Courier New"));
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  FitColumns(font, &device, page.width());
  painter.setFont(font);
  const QFontMetricsF metrics(font, &device);

  qreal y = 0;
  for (const std::string& line : lines) {
    if (y > 0 && y + metrics.height() > page.height()) {
      if (!device.newPage()) return false;
      y = 0;
    }
    painter.drawText(QPointF(0, y + metrics.ascent()), TextBoxDisplay(line));
    y += metrics.lineSpacing();
  }
  return painter.end();
}

bool QtPrinter::PrinterAvailable() { return !QPrinterInfo::defaultPrinter().isNull(); }

bool QtPrinter::PrintOnDefaultPrinter() const {
  QPrinter printer(QPrinterInfo::defaultPrinter(), QPrinter::HighResolution);
  printer.setDocName(QStringLiteral("Ondrel viewer"));
  if (!printer.isValid()) return false;
  return RenderDocument(printer, lines_) && printer.printerState() != QPrinter::Error &&
         printer.printerState() != QPrinter::Aborted;
}

void QtPrinter::EndDocument() {
  if (!PrinterAvailable()) {
    SaveAsPdf(QStringLiteral("No printer is available."));
  } else if (!PrintOnDefaultPrinter()) {
    SaveAsPdf(QStringLiteral("The document could not be printed."));
  }
  lines_.clear();
}

void QtPrinter::SaveAsPdf(const QString& reason) {
  QString folder = fallbackFolder_;
  if (folder.isEmpty()) folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  if (folder.isEmpty()) folder = QDir::homePath();
  QString text;
  const QString path = NewPdfPath(folder);
  bool saved = false;
  if (QDir().mkpath(folder)) {
    QPdfWriter writer(path);
    writer.setTitle(QStringLiteral("Ondrel viewer"));
    writer.setResolution(1200);
    saved = RenderDocument(writer, lines_);
  }
  if (saved) {
    text = reason + QStringLiteral("  The document has been saved as a PDF file:\n") + QDir::toNativeSeparators(path);
  } else {
    text = reason + QStringLiteral("  It could not be saved as a PDF file in ") + QDir::toNativeSeparators(folder) +
           QStringLiteral(" either.");
  }
  const QByteArray bytes = text.toLocal8Bit();
  platform_.MessageBox(bytes.toStdString(), "", saved ? MsgIcon::Information : MsgIcon::Exclamation,
                       MsgButtons::Ok);
}

}  // namespace ondrel
