#pragma once
// Column widths on this platform's fonts.

#include <QFont>
#include <QString>
#include <initializer_list>

// The design sized its columns in pixels for a font whose average letter is
// this many pixels wide; this platform's fonts are wider, so a design width
// is scaled by the ratio of the two.
inline constexpr int DesignAverageCharWidth = 6;
// Space a header or cell keeps on either side of its text.
inline constexpr int ColumnTextPadding = 8;

// The design's width scaled to font, and never less than any of texts
// needs in font made bold (a sorted column's header is bold) plus padding.
int FitColumnWidth(const QFont& font, int designWidth, std::initializer_list<QString> texts);
