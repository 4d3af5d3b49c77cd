#pragma once

#include <QString>
#include <QStringView>

// The decimal separator rule of table files, the clipboard and the background file: the first "." (or ",")
// becomes "," (or ".") unless it stands first, so the dotted placeholders of missing values pass unchanged.
// Changes s in place and returns it.
QString setSeperator(QString& s, bool useComma);
// Where the rule changes s, or -1; the new character there is seperatorFor(useComma).
[[nodiscard]] qsizetype seperatorIndex(QStringView s, bool useComma);
[[nodiscard]] constexpr QChar seperatorFor(bool useComma)
{
    return useComma ? QLatin1Char(',') : QLatin1Char('.');
}
