#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text files in the platform's 8-bit code page: Latin-1 here (every byte round-trips), the ANSI code page
// on Windows.
namespace CodePage {

// Every byte is the character of the same number: text may be widened byte by byte.
#ifdef Q_OS_WIN
constexpr bool IsLatin1 = false;
#else
constexpr bool IsLatin1 = true;
#endif

[[nodiscard]] QByteArray fromUnicode(const QString& text);
// Appends the text of bytes to text, and the bytes of text to bytes.
void appendUnicode(QString& text, QByteArrayView bytes);
void appendBytes(QByteArray& bytes, QStringView text);

} // namespace CodePage
