#include "platform/codepage.h"

namespace CodePage {

QByteArray fromUnicode(const QString& text)
{
#ifdef Q_OS_WIN
    return text.toLocal8Bit();
#else
    return text.toLatin1();
#endif
}

QString toUnicode(const QByteArray& bytes)
{
#ifdef Q_OS_WIN
    return QString::fromLocal8Bit(bytes);
#else
    return QString::fromLatin1(bytes);
#endif
}

} // namespace CodePage
