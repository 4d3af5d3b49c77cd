// The receive path of both link modes: framing, decoding and counting, fed arbitrary bytes in arbitrary
// chunk sizes, with divisor changes, mode switches, overflow events and timer ticks mixed in. The calls out
// to the main window are recorded and checked, and the state is shown as the display and the background
// file would show it.
//
// Input: byte 0 holds the starting options; the stream is taken from the front and the control bytes that
// cut it into events from the back, so a plain text or record file is a useful seed as it is.
#include "fuzzcheck.h"

#include "link/backgroundfile.h"
#include "link/linkreceiver.h"
#include "platform/memoryport.h"
#include "state/anglemanager.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace {

// Checks the readout calls: a line comes after addLine, with exactly as many columns as the header said.
class CallChecker final : public LinkEvents, public BackgroundWriter {
public:
    explicit CallChecker(const LinkInternal& internal) : m_internal(internal) {}

    void onMeasurement(double, double, qint16) override {}
    void onTobarValue(const QString&, qint16, TobarMessage) override {}
    void onStoreSignal(StoreSignal) override { ++stores; }
    void onReadoutStart(qint16, qint32, qint16) override { finishLine(); }
    void onReadoutLine(qint16) override
    {
        finishLine();
        m_inLine = true;
        m_expected = qMax<int>(0, m_internal.loadColumns);
        m_columns = 0;
    }
    void onReadoutCell(const QString& s) override
    {
        FUZZ_CHECK(m_inLine);
        FUZZ_CHECK(s.size() <= LinkReceiver::MaxTokenLength);
        ++m_columns;
    }
    void onInterval() override { ++storeSignals; }
    void writeBackgroundFile() override { ++backgroundWrites; }

    // Called whenever the decoder may have finished a readout line.
    void finishLine()
    {
        if (m_inLine)
            FUZZ_CHECK(m_columns == m_expected);
        m_inLine = false;
    }

    int stores = 0;
    int storeSignals = 0;
    int backgroundWrites = 0;

private:
    const LinkInternal& m_internal;
    bool m_inLine = false;
    int m_expected = 0;
    int m_columns = 0;
};

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_front(0), m_back(size) {}
    [[nodiscard]] bool dataLeft() const { return m_front < m_back; }
    [[nodiscard]] bool controlLeft() const { return m_front < m_back; }
    std::uint8_t takeFront() { return m_front < m_back ? m_data[m_front++] : 0; }
    std::uint8_t takeBack() { return m_front < m_back ? m_data[--m_back] : 0; }
    QByteArray takeChunk(std::size_t length)
    {
        const std::size_t n = std::min(length, m_back - m_front);
        const QByteArray chunk(reinterpret_cast<const char*>(m_data + m_front), static_cast<qsizetype>(n));
        m_front += n;
        return chunk;
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_front;
    std::size_t m_back;
};

constexpr double Inf = std::numeric_limits<double>::infinity();
constexpr double Counts[] = {
    0.0,       0.5,          1.0,   1.5,  2.5, 3.0,  10.0,
    1000000.0, 2147483647.5, 1e300, -1.0, Inf, -Inf, std::numeric_limits<double>::quiet_NaN()};
constexpr std::size_t CountChoices = sizeof(Counts) / sizeof(Counts[0]);

struct Link {
    LinkState link;
    MainOptions options;
    LinkInternal internal;
    MemoryPort port;
    CallChecker calls{internal};
    LinkReceiver receiver{link, options, internal};
    BackgroundFile background{link, options, internal};
    AngleManager angles{link};

    Link()
    {
        receiver.setPort(&port);
        receiver.setEvents(&calls);
        receiver.setBackgroundWriter(&calls);
        // As after the connection window's load step.
        internal.measureCountdown = std::numeric_limits<qint32>::max();
        internal.msgSignalEvery = std::numeric_limits<qint32>::max();
        internal.updateSignalEvery = 1;
        link.conStatus = 1;
    }

    // The receive events the port raises for what waits: again while a handler takes something.
    void raiseEvents()
    {
        const qint32 threshold = link.portMode == LinkMode::Text ? 1 : 8;
        for (int guard = 0; guard < 100000 && port.InBufferCount() >= threshold; ++guard) {
            const qint32 before = port.InBufferCount();
            receiver.receive(PortCode::Receive);
            checkState();
            if (port.InBufferCount() == before)
                break;
        }
    }

    void checkState()
    {
        calls.finishLine();
        FUZZ_CHECK(internal.tokenIndex >= 0 && internal.tokenIndex < LinkInternal::TokenSlots);
        FUZZ_CHECK(internal.token.size() <= LinkReceiver::MaxTokenLength);
        FUZZ_CHECK(internal.measureCountdown >= 1);
        FUZZ_CHECK(link.angleStatus >= 0 && link.angleStatus <= 9);
        FUZZ_CHECK(!std::isnan(link.angleX) && !std::isnan(link.angleY));
        FUZZ_CHECK(FuzzCheck::showsNoInfOrNan(link.tobarValue));
    }

    // Everything the display, the tables and the background file would show of the current state.
    void checkShown()
    {
        for (qint16 unit = 0; unit <= 4; ++unit) {
            angles.angleUnit = AngleUnits::fromCode(unit);
            const QString x = angles.angleXText();
            const QString y = angles.angleYText();
            FUZZ_CHECK(!x.isEmpty() && !y.isEmpty());
            FUZZ_CHECK(FuzzCheck::showsNoInfOrNan(x) && FuzzCheck::showsNoInfOrNan(y));
        }
        for (const bool tobar : {false, true}) {
            options.modeTobar = tobar;
            FUZZ_CHECK(FuzzCheck::showsNoInfOrNan(background.record()));
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input(data, size);
    Link l;
    const std::uint8_t start = input.takeFront();
    l.link.portMode = (start & 1) ? LinkMode::Text : LinkMode::Compatible;
    l.link.isHR = (start & 2) ? 1 : 0;
    l.link.storeAtIR = (start & 4) != 0;
    l.link.storeAtExitkey = (start & 8) != 0;
    l.options.useBackground = (start & 16) != 0;
    if (start & 32)
        l.receiver.setMsgSignal(1);

    while (input.dataLeft()) {
        const std::uint8_t control = input.controlLeft() ? input.takeBack() : 0;
        if (control < 200) {
            // A chunk of 1 to 200 bytes; no control left means the rest in one go.
            const std::size_t length = control == 0 ? std::numeric_limits<std::size_t>::max() : control;
            l.port.feed(input.takeChunk(length));
            l.raiseEvents();
        } else if (control < 210) {
            l.receiver.setMsgSignal(Counts[(control - 200 + input.takeBack()) % CountChoices]);
        } else if (control < 220) {
            l.receiver.setUpdateSignal(Counts[(control - 210 + input.takeBack()) % CountChoices]);
        } else if (control < 224) {
            // The connection window's mode buttons: a new mode, synchronisation sought again.
            l.link.portMode = control == 220 ? LinkMode::Compatible : LinkMode::Text;
            l.link.angleStatus = l.link.portMode == LinkMode::Compatible ? 0 : l.link.angleStatus;
            l.internal.inSync = false;
        } else if (control < 228) {
            l.receiver.receive(PortCode::RxOver);
        } else if (control < 232) {
            l.receiver.updateCompatibleStatus();
        } else if (control < 236) {
            l.receiver.receive(static_cast<PortCode>(control)); // events the handler ignores
        } else if (control < 240) {
            l.link.isHR = l.link.isHR == 1 ? 0 : 1;
        } else if (control < 248) {
            l.port.setShortRead(control - 241); // -1 ends short reads
        } else {
            l.checkShown();
        }
        l.checkState();
    }
    l.raiseEvents();
    l.checkState();
    l.checkShown();
    return 0;
}
