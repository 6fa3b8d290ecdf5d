#include "screens/Fonts.h"

#include <QFont>
#include <QWidget>

namespace ondrel {

namespace {

constexpr double kDesignPointSize = 8.25;

void FixSize(QWidget* w) {
  if (!w->testAttribute(Qt::WA_SetFont)) return;
  QFont f = w->font();
  if (f.pointSize() == 8 && f.pointSizeF() == 8.0) {
    f.setPointSizeF(kDesignPointSize);
    w->setFont(f);
  }
}

}  // namespace

void InstallFontFallbacks() {
  QFont::insertSubstitution(QStringLiteral("Courier New"), QStringLiteral("Liberation Mono"));
  QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
  QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}

void ApplyDesignPointSize(QWidget* root) {
  FixSize(root);
  const auto children = root->findChildren<QWidget*>();
  for (QWidget* w : children) FixSize(w);
}

void PreferFixedPitch(QWidget* widget) {
  QFont f = widget->font();
  f.setStyleHint(QFont::TypeWriter);
  f.setFixedPitch(true);
  widget->setFont(f);
}

}  // namespace ondrel
