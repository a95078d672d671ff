#include "uiColumnFit.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace {

// The average letter as dialog units measure it: the width of the whole
// alphabet in both cases over its 52 letters.
double AverageLetterWidth(const QFontMetrics& metrics) {
  static const QString alphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
  return metrics.horizontalAdvance(alphabet) / 52.0;
}

}  // namespace

int FitColumnWidth(const QFont& font, int designWidth, std::initializer_list<QString> texts) {
  const QFontMetrics metrics(font);
  int width = static_cast<int>(std::lround(designWidth * AverageLetterWidth(metrics) / DesignAverageCharWidth));
  QFont bold = font;
  bold.setBold(true);
  const QFontMetrics boldMetrics(bold);
  for (const QString& text : texts) width = std::max(width, boldMetrics.horizontalAdvance(text) + 2 * ColumnTextPadding);
  return width;
}
