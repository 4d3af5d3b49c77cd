#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <optional>

class PtyInstrument;

// The simulator's line protocol: one command per line, applied to a running pty instrument.
class SimConsole : public QObject {
    Q_OBJECT
public:
    struct Result {
        bool ok = true;
        QString reply; // lines for standard output (may be empty)
        QString error; // a line for standard error when !ok
        bool quit = false;
    };

    explicit SimConsole(PtyInstrument& instrument, int portNumber = 1, QObject* parent = nullptr);

    [[nodiscard]] Result execute(const QString& line);
    // The device path and the matching environment line, as printed at start and after "return".
    [[nodiscard]] QString announcement() const;
    [[nodiscard]] static QString protocolHelp();

    // "\r", "\n", "\t", "\\" and "\xHH" escapes; nullopt on a broken escape or a character outside Latin-1.
    [[nodiscard]] static std::optional<QByteArray> unescape(const QString& text);
    // Hexadecimal bytes separated by blanks, with or without "0x"; nullopt on anything else.
    [[nodiscard]] static std::optional<QByteArray> parseHex(const QString& text);
    // Angle messages a second as typed: a whole number from 1 to InstrumentModel::MaxRate.
    [[nodiscard]] static std::optional<int> rateValue(const QString& text);

signals:
    // A line to print that no command asked for (received commands while "log on").
    void message(const QString& line);

private:
    [[nodiscard]] QString status() const;

    PtyInstrument& m_instrument;
    int m_portNumber = 1;
    bool m_log = false;
};
