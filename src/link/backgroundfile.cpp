#include "link/backgroundfile.h"

#include "platform/codepage.h"
#include "state/numbers.h"
#include "state/separator.h"

#include <QFile>
#include <limits>

namespace {
QString angleText(double value, bool useComma)
{
    QString text = Numbers::shortestText(value);
    return setSeperator(text, useComma);
}
} // namespace

QString BackgroundFile::record() const
{
    const QString counter = QString::number(m_internal.backgroundCounter);
    if (m_options.modeTobar) {
        const auto message = static_cast<qint16>(m_link.lastTobarMsg);
        return counter + QLatin1Char(' ') + QString::number(message) + QLatin1Char(' ') +
               QString::number(m_link.tobarStatus) + QLatin1Char(' ') + m_link.tobarValue +
               QLatin1String("\r\n");
    }
    // The status field is "0" and the status digit; the status is one decimal digit by construction.
    const qint16 status = m_link.angleStatus;
    const QChar digit = (status >= 0 && status <= 9) ? QChar(u'0' + status) : QLatin1Char('0');
    return counter + QLatin1String(" 0") + digit + QLatin1Char(' ') +
           angleText(m_link.angleX, m_options.useComma) + QLatin1Char(' ') +
           angleText(m_link.angleY, m_options.useComma) + QLatin1String("\r\n");
}

void BackgroundFile::writeBackgroundFile()
{
    const QString path = m_options.updatePath;
    if (path.isEmpty())
        return;
    const QByteArray bytes = CodePage::fromUnicode(record());
    // Truncated on opening, so that a reader polling the file finds it empty or holding one whole record,
    // never a new record followed by the tail of an older, longer one. A record that cannot be written
    // whole is cut away again rather than left half-written. A plain open is shared with readers.
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return;
    const bool written = file.write(bytes) == bytes.size();
    if (!written)
        file.resize(0);
    file.close();
    if (!written || file.error() != QFileDevice::NoError)
        return;
    qint32& counter = m_internal.backgroundCounter;
    counter = counter == std::numeric_limits<qint32>::max() ? 0 : counter + 1;
}
