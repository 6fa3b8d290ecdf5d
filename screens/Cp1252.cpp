#include "screens/Cp1252.h"

#include "viewer/Cp1252.h"

namespace ondrel {

namespace {

constexpr char16_t kWhiteSquare = 0x25A1;

// The record viewer holds the code page's table; every code point it gives
// lies in the Basic Multilingual Plane.
char16_t CharOf(unsigned char b) { return static_cast<char16_t>(Cp1252CodePoint(b)); }

bool DrawsNothing(char16_t c) { return c < 0x20 || (c >= 0x7F && c <= 0x9F); }

bool LineEndAt(std::string_view bytes, std::size_t i) {
  return bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n';
}

}  // namespace

QString FromCp1252(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) out.append(QChar(CharOf(static_cast<unsigned char>(c))));
  return out;
}

std::string ToCp1252(const QString& text) {
  std::string out;
  out.reserve(static_cast<std::size_t>(text.size()));
  for (QChar qc : text) {
    const char16_t c = qc.unicode();
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
      out.push_back(static_cast<char>(c));
      continue;
    }
    char byte = '?';
    for (int b = 0x80; b <= 0x9F; ++b) {
      if (CharOf(static_cast<unsigned char>(b)) == c) {
        byte = static_cast<char>(b);
        break;
      }
    }
    out.push_back(byte);
  }
  return out;
}

QString TextBoxDisplay(std::string_view bytes) {
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (LineEndAt(bytes, i)) {
      out.append(QChar('\n'));
      ++i;
      continue;
    }
    const char16_t c = CharOf(static_cast<unsigned char>(bytes[i]));
    out.append(QChar(DrawsNothing(c) ? kWhiteSquare : c));
  }
  return out;
}

QString LabelDisplay(std::string_view bytes) {
  QString out;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (LineEndAt(bytes, i)) {
      out.append(QChar('\n'));
      ++i;
    } else {
      out.append(QChar(CharOf(static_cast<unsigned char>(bytes[i]))));
    }
  }
  return out;
}

Long DisplayToTextPosition(std::string_view bytes, Long displayPosition) {
  Long shown = 0;
  std::size_t i = 0;
  while (i < bytes.size() && shown < displayPosition) {
    i += LineEndAt(bytes, i) ? 2 : 1;
    ++shown;
  }
  return static_cast<Long>(i);
}

Long TextToDisplayPosition(std::string_view bytes, Long textPosition) {
  Long shown = 0;
  std::size_t i = 0;
  const std::size_t end = textPosition < 0 ? 0 : static_cast<std::size_t>(textPosition);
  // A position between the CR and the LF of a line end counts as the line
  // end itself, so the caret lands at the end of that line.
  while (i < bytes.size() && i < end) {
    if (LineEndAt(bytes, i)) {
      if (i + 1 >= end) break;
      i += 2;
    } else {
      ++i;
    }
    ++shown;
  }
  return shown;
}

}  // namespace ondrel
