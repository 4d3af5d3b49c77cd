#pragma once

#include <QFont>
#include <QStringList>

// The windows' font, MS Sans Serif 8.25 pt; where it is missing, fonts of Arial's metrics keep the
// captions within their widths (the usual fallback is much wider).
inline QFont windowFont()
{
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("Helvetica")});
    font.setPointSizeF(8.25);
    return font;
}
