#pragma once

#include <QByteArray>
#include <QString>

// Text files in the platform's 8-bit code page: Latin-1 here (every byte round-trips), the ANSI code page
// on Windows.
namespace CodePage {

[[nodiscard]] QByteArray fromUnicode(const QString& text);
[[nodiscard]] QString toUnicode(const QByteArray& bytes);

} // namespace CodePage
