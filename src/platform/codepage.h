#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Text files in the platform's 8-bit code page: Latin-1 here (every byte round-trips), the ANSI code page
// on Windows.
namespace CodePage {

[[nodiscard]] QByteArray fromUnicode(const QString& text);
// Appends the text of bytes to text, and the bytes of text to bytes.
void appendUnicode(QString& text, QByteArrayView bytes);
void appendBytes(QByteArray& bytes, QStringView text);

} // namespace CodePage
