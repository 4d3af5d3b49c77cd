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

void appendUnicode(QString& text, QByteArrayView bytes)
{
#ifdef Q_OS_WIN
    text.append(QString::fromLocal8Bit(bytes));
#else
    // Widened in place: this runs for every line of a table file.
    const qsizetype at = text.size();
    text.resize(at + bytes.size());
    char16_t* out = reinterpret_cast<char16_t*>(text.data()) + at;
    const char* in = bytes.data();
    for (qsizetype i = 0; i < bytes.size(); ++i)
        out[i] = static_cast<unsigned char>(in[i]);
#endif
}

void appendBytes(QByteArray& bytes, QStringView text)
{
#ifdef Q_OS_WIN
    bytes.append(text.toLocal8Bit());
#else
    bytes.append(text.toLatin1());
#endif
}

} // namespace CodePage
