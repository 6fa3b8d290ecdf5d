// "Print" on paper: the document the print command builds goes to the
// system's default printer, or, when there is none or printing fails, to a
// PDF file in the user's documents folder, with a message saying where.
#pragma once

#include <string>
#include <vector>

#include <QString>

#include "database/Platform.h"
#include "viewer/Commands.h"

class QPagedPaintDevice;

namespace ondrel {

// Lays the lines out on a page device in a fixed-pitch font sized so that 90
// columns fill the printable width, one line per text line, starting a new
// page when one is full.  Lines are drawn in their full length: a longer
// line runs off the page's edge and is neither wrapped nor cut here.  False
// when the device cannot be painted on.
bool RenderDocument(QPagedPaintDevice& device, const std::vector<std::string>& lines);

// The columns a line of the printed page holds in full.
inline constexpr int kPrintColumns = 90;

class QtPrinter : public Printer {
 public:
  explicit QtPrinter(Platform& platform) : platform_(platform) {}

  // The lines are kept until the document ends, and the whole document is
  // then handed to the printer in one job, as a spooler does.
  void PrintLine(const std::string& text) override { lines_.push_back(text); }
  void PrintEmptyLine() override { lines_.emplace_back(); }
  void EndDocument() override;

  // The folder that takes the PDF file when printing is not possible; the
  // user's documents folder unless set.
  void SetFallbackFolder(const QString& folder) { fallbackFolder_ = folder; }

  // Whether the system has a printer to print on.
  static bool PrinterAvailable();

 private:
  bool PrintOnDefaultPrinter() const;
  void SaveAsPdf(const QString& reason);

  Platform& platform_;
  std::vector<std::string> lines_;
  QString fallbackFolder_;
};

}  // namespace ondrel
