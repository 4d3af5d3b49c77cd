#include "tables/separator.h"

QString setSeperator(QString& s, bool useComma)
{
    const QChar from = useComma ? QLatin1Char('.') : QLatin1Char(',');
    const QChar to = useComma ? QLatin1Char(',') : QLatin1Char('.');
    const qsizetype at = s.indexOf(from);
    if (at >= 1)
        s[at] = to;
    return s;
}
