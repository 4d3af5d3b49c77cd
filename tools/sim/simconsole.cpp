#include "sim/simconsole.h"

#include "sim/ptyinstrument.h"

#include <QStringList>

namespace {

SimConsole::Result failure(const QString& text)
{
    SimConsole::Result result;
    result.ok = false;
    result.error = text;
    return result;
}

SimConsole::Result reply(const QString& text)
{
    SimConsole::Result result;
    result.reply = text;
    return result;
}

std::optional<bool> onOff(const QString& word)
{
    if (word == QLatin1String("on"))
        return true;
    if (word == QLatin1String("off"))
        return false;
    return std::nullopt;
}

int hexDigit(QChar c)
{
    const char l = c.toLatin1();
    if (l >= '0' && l <= '9')
        return l - '0';
    if (l >= 'a' && l <= 'f')
        return l - 'a' + 10;
    if (l >= 'A' && l <= 'F')
        return l - 'A' + 10;
    return -1;
}

} // namespace

SimConsole::SimConsole(PtyInstrument& instrument, int portNumber, QObject* parent)
    : QObject(parent), m_instrument(instrument), m_portNumber(portNumber)
{
    connect(&m_instrument, &PtyInstrument::commandReceived, this, [this](const QString& command) {
        if (m_log)
            emit message(QStringLiteral("received %1").arg(command));
    });
}

QString SimConsole::announcement() const
{
    const QString path = m_instrument.devicePath();
    return QStringLiteral("%1\nTARNOLUX_COM%2=%1").arg(path).arg(m_portNumber);
}

QString SimConsole::protocolHelp()
{
    return QStringLiteral(
        "Commands on standard input, one per line (end of input does not stop the simulator):\n"
        "  text <chars>          send the characters as they are; escapes \\r \\n \\t \\\\ \\xHH\n"
        "  bytes <hex ...>       send raw bytes, for example: bytes 02 10 27 00 f0 d8 ff 03\n"
        "  key ir|exit           remote control or exit key: signal digit in the next angle message\n"
        "  mode text|compatible|auto\n"
        "                        link mode; auto follows the baud rate set on the line\n"
        "                        (19200 text, 2400 compatible)\n"
        "  instrument orvelan|tobar\n"
        "                        switch the instrument mode (sends the mode message in text mode)\n"
        "  average on|off        the instrument's averaging (as the commands M and U)\n"
        "  stream on|off         spontaneous messages (angles, TOBAR mode announcements)\n"
        "  rate <n>              angle messages a second, 1 to 100\n"
        "  hr on|off             compatible records in thousandths of an arcsecond\n"
        "  valid 0|1|2|3         validity mask of the angle messages (1 X, 2 Y)\n"
        "  angles <x> <y>        hold the angles (arcseconds); angles drift: slow drift again\n"
        "  noise <arcsec>        uniform random noise of that amplitude on every angle; noise 0 ends it\n"
        "  unit mm|inch          unit of the TOBAR values\n"
        "  memory <records> [<table>]\n"
        "                        size and table number of the stored-values readout (command t)\n"
        "  vanish                close the line like a pulled cable\n"
        "  return                open a new line and print its path and TARNOLUX_COM line again\n"
        "  log on|off            print \"received <command>\" for each command from the program\n"
        "  status                print the simulator's state\n"
        "  help                  this list\n"
        "  quit                  stop the simulator\n"
        "Lines that are empty or start with # are ignored.");
}

std::optional<QByteArray> SimConsole::unescape(const QString& text)
{
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.unicode() > 0xFF)
            return std::nullopt;
        if (c != QLatin1Char('\\')) {
            out.append(static_cast<char>(c.unicode()));
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text.at(i).toLatin1()) {
        case 'r':
            out.append('\r');
            break;
        case 'n':
            out.append('\n');
            break;
        case 't':
            out.append('\t');
            break;
        case '\\':
            out.append('\\');
            break;
        case 'x': {
            const int high = i + 1 < text.size() ? hexDigit(text.at(i + 1)) : -1;
            const int low = i + 2 < text.size() ? hexDigit(text.at(i + 2)) : -1;
            if (high < 0 || low < 0)
                return std::nullopt;
            out.append(static_cast<char>(high * 16 + low));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

std::optional<QByteArray> SimConsole::parseHex(const QString& text)
{
    QByteArray out;
    const QStringList words = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString word : words) {
        if (word.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
            word = word.mid(2);
        if (word.isEmpty() || word.size() > 2)
            return std::nullopt;
        int value = 0;
        for (const QChar c : word) {
            const int digit = hexDigit(c);
            if (digit < 0)
                return std::nullopt;
            value = value * 16 + digit;
        }
        out.append(static_cast<char>(value));
    }
    if (out.isEmpty())
        return std::nullopt;
    return out;
}

QString SimConsole::status() const
{
    InstrumentModel& model = m_instrument.model();
    const char* choice = m_instrument.modeChoice() == PtyInstrument::ModeChoice::Auto   ? "auto"
                         : m_instrument.modeChoice() == PtyInstrument::ModeChoice::Text ? "text"
                                                                                        : "compatible";
    return QStringLiteral("status line=%1 path=%2 mode=%3 choice=%4 baud=%5 instrument=%6 average=%7 "
                          "stream=%8 hr=%9 valid=%10 rate=%11 noise=%12")
        .arg(m_instrument.isOpen() ? QStringLiteral("up") : QStringLiteral("gone"),
             m_instrument.isOpen() ? m_instrument.devicePath() : QStringLiteral("-"),
             model.linkMode() == InstrumentModel::LinkMode::Text ? QStringLiteral("text")
                                                                 : QStringLiteral("compatible"),
             QLatin1String(choice), QString::number(m_instrument.lineBaud()),
             model.kind() == InstrumentModel::Kind::Tobar ? QStringLiteral("tobar")
                                                          : QStringLiteral("orvelan"),
             model.averaging() ? QStringLiteral("on") : QStringLiteral("off"),
             model.streaming() ? QStringLiteral("on") : QStringLiteral("off"),
             model.isHR() ? QStringLiteral("on") : QStringLiteral("off"))
        .arg(model.validity())
        .arg(model.rate())
        .arg(model.noise());
}

std::optional<int> SimConsole::rateValue(const QString& text)
{
    bool ok = false;
    const int perSecond = text.toInt(&ok);
    if (!ok || perSecond < 1 || perSecond > InstrumentModel::MaxRate)
        return std::nullopt;
    return perSecond;
}

SimConsole::Result SimConsole::execute(const QString& line)
{
    QString text = line;
    while (text.endsWith(QLatin1Char('\n')) || text.endsWith(QLatin1Char('\r')))
        text.chop(1);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#')))
        return {};
    const qsizetype space = trimmed.indexOf(QLatin1Char(' '));
    const QString word = space < 0 ? trimmed : trimmed.left(space);
    const QString rest = space < 0 ? QString() : trimmed.mid(space + 1).trimmed();
    const QStringList args = rest.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    InstrumentModel& model = m_instrument.model();

    if (word == QLatin1String("text")) {
        // Everything after the one blank that follows the word, blanks included.
        const QString start = text.mid(text.indexOf(QLatin1String("text")) + 4);
        const std::optional<QByteArray> bytes =
            unescape(start.startsWith(QLatin1Char(' ')) ? start.mid(1) : start);
        if (!bytes || bytes->isEmpty())
            return failure(QStringLiteral("text: nothing to send or a broken escape"));
        model.injectRaw(*bytes);
        return {};
    }
    if (word == QLatin1String("bytes")) {
        const std::optional<QByteArray> bytes = parseHex(rest);
        if (!bytes)
            return failure(QStringLiteral("bytes: expected hexadecimal bytes, for example: bytes 02 41 03"));
        model.injectRaw(*bytes);
        return {};
    }
    if (word == QLatin1String("key") && args.size() == 1) {
        if (args[0] == QLatin1String("ir"))
            model.pressKey(InstrumentModel::RemoteControl);
        else if (args[0] == QLatin1String("exit"))
            model.pressKey(InstrumentModel::ExitKey);
        else
            return failure(QStringLiteral("key: ir or exit"));
        return {};
    }
    if (word == QLatin1String("mode") && args.size() == 1) {
        if (args[0] == QLatin1String("text"))
            m_instrument.setModeChoice(PtyInstrument::ModeChoice::Text);
        else if (args[0] == QLatin1String("compatible"))
            m_instrument.setModeChoice(PtyInstrument::ModeChoice::Compatible);
        else if (args[0] == QLatin1String("auto"))
            m_instrument.setModeChoice(PtyInstrument::ModeChoice::Auto);
        else
            return failure(QStringLiteral("mode: text, compatible or auto"));
        return {};
    }
    if (word == QLatin1String("instrument") && args.size() == 1) {
        if (args[0] == QLatin1String("orvelan"))
            model.setKind(InstrumentModel::Kind::Orvelan);
        else if (args[0] == QLatin1String("tobar"))
            model.setKind(InstrumentModel::Kind::Tobar);
        else
            return failure(QStringLiteral("instrument: orvelan or tobar"));
        return {};
    }
    if ((word == QLatin1String("average") || word == QLatin1String("stream") || word == QLatin1String("hr") ||
         word == QLatin1String("log")) &&
        args.size() == 1) {
        const std::optional<bool> on = onOff(args[0]);
        if (!on)
            return failure(QStringLiteral("%1: on or off").arg(word));
        if (word == QLatin1String("average"))
            model.setAveraging(*on);
        else if (word == QLatin1String("stream"))
            model.setStreaming(*on);
        else if (word == QLatin1String("hr"))
            model.setHR(*on);
        else
            m_log = *on;
        return {};
    }
    if (word == QLatin1String("valid") && args.size() == 1) {
        bool ok = false;
        const int mask = args[0].toInt(&ok);
        if (!ok || mask < 0 || mask > 3)
            return failure(QStringLiteral("valid: 0, 1, 2 or 3"));
        model.setValidity(mask);
        return {};
    }
    if (word == QLatin1String("rate") && args.size() == 1) {
        const std::optional<int> perSecond = rateValue(args[0]);
        if (!perSecond)
            return failure(QStringLiteral("rate: messages a second, 1 to %1").arg(InstrumentModel::MaxRate));
        model.setRate(*perSecond);
        return {};
    }
    if (word == QLatin1String("angles")) {
        if (args.size() == 1 && args[0] == QLatin1String("drift")) {
            model.setDrift();
            return {};
        }
        bool okX = false;
        bool okY = false;
        const double x = args.size() == 2 ? args[0].toDouble(&okX) : 0.0;
        const double y = args.size() == 2 ? args[1].toDouble(&okY) : 0.0;
        if (!okX || !okY || !qIsFinite(x) || !qIsFinite(y))
            return failure(QStringLiteral("angles: <x> <y> in arcseconds, or drift"));
        model.setFixedAngles(x, y);
        return {};
    }
    if (word == QLatin1String("noise") && args.size() == 1) {
        bool ok = false;
        const double amplitude = args[0].toDouble(&ok);
        if (!ok || !qIsFinite(amplitude) || amplitude < 0 || amplitude > 10000)
            return failure(QStringLiteral("noise: amplitude in arcseconds, 0 to 10000"));
        model.setNoise(amplitude);
        return {};
    }
    if (word == QLatin1String("unit") && args.size() == 1) {
        if (args[0] != QLatin1String("mm") && args[0] != QLatin1String("inch"))
            return failure(QStringLiteral("unit: mm or inch"));
        model.setTobarInch(args[0] == QLatin1String("inch"));
        return {};
    }
    if (word == QLatin1String("memory") && (args.size() == 1 || args.size() == 2)) {
        bool okCount = false;
        bool okTable = true;
        const int count = args[0].toInt(&okCount);
        const int table = args.size() == 2 ? args[1].toInt(&okTable) : model.storedTable();
        if (!okCount || !okTable || count < 0 || count > InstrumentModel::MaxStoredRecords)
            return failure(
                QStringLiteral("memory: <records 0..%1> [<table>]").arg(InstrumentModel::MaxStoredRecords));
        model.setStoredRecords(count);
        model.setStoredTable(table);
        return {};
    }
    if (word == QLatin1String("vanish") && args.isEmpty()) {
        m_instrument.vanish();
        return {};
    }
    if (word == QLatin1String("return") && args.isEmpty()) {
        if (m_instrument.isOpen())
            return failure(QStringLiteral("return: the line is up"));
        QString error;
        if (!m_instrument.open(&error))
            return failure(QStringLiteral("return: %1").arg(error));
        return reply(announcement());
    }
    if (word == QLatin1String("status") && args.isEmpty())
        return reply(status());
    if (word == QLatin1String("help") && args.isEmpty())
        return reply(protocolHelp());
    if (word == QLatin1String("quit") && args.isEmpty()) {
        Result result;
        result.quit = true;
        return result;
    }
    return failure(QStringLiteral("unknown command: %1 (see help)").arg(trimmed.left(80)));
}
