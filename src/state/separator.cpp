#include "state/separator.h"

qsizetype seperatorIndex(QStringView s, bool useComma)
{
    // A plain loop: this runs for every cell of a table being saved, and cells are short.
    const char16_t from = useComma ? u'.' : u',';
    const char16_t* data = s.utf16();
    for (qsizetype i = 0, size = s.size(); i < size; ++i) {
        if (data[i] == from)
            return i >= 1 ? i : -1;
    }
    return -1;
}

QString setSeperator(QString& s, bool useComma)
{
    const qsizetype at = seperatorIndex(s, useComma);
    if (at >= 0)
        s[at] = seperatorFor(useComma);
    return s;
}
