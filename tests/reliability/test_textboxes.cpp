// Every text box of the program given very long, empty and non-numeric input, typed on the keyboard and
// pasted from the clipboard, followed by whatever makes the program use the box: each ends in a defined
// state and nothing breaks.
#include "faultfixture.h"

#include "widgets/flexgrid.h"
#include "dialogs/formoptions.h"
#include "state/numbers.h"
#include "tables/tableset.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

enum class Input { Long, Empty, Letters };
enum class Way { Keys, Paste };

// Typed keys stay short enough to type quickly; the pasted text is longer than a box holds.
QString textFor(Input input, Way way)
{
    switch (input) {
    case Input::Long:
        return QString(way == Way::Keys ? 1000 : 100000, QLatin1Char('9'));
    case Input::Empty:
        return {};
    case Input::Letters:
        return way == Way::Keys ? QStringLiteral("abc -.,;#x\u00b5\u20ac")
                                : QStringLiteral("abc\t-.,;\n#\u20ac");
    }
    return {};
}

// Keys for every character; those without a key of their own arrive as the text of an unknown key.
void typeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x80)
            QTest::keyClick(widget, c.toLatin1());
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

qint32 divisorFor(double n)
{
    if (!(n >= 1.0))
        return 1;
    return n >= 2147483647.0 ? std::numeric_limits<qint32>::max() : static_cast<qint32>(std::nearbyint(n));
}

} // namespace

class TestTextBoxes : public QObject {
    Q_OBJECT

private slots:
    void everyBox_data();
    void everyBox();
};

void TestTextBoxes::everyBox_data()
{
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("input");
    QTest::addColumn<int>("way");
    const char* const boxes[] = {"TextTimer",  "TextX",    "TextY",       "TextLine",
                                 "TextTobar",  "TextGONG", "TextReticle", "TextPortNum",
                                 "TextStatus", "TextPath", "TextSeconds"};
    const QPair<const char*, Input> inputs[] = {
        {"very long", Input::Long}, {"empty", Input::Empty}, {"non-numeric", Input::Letters}};
    const QPair<const char*, Way> ways[] = {{"typed", Way::Keys}, {"pasted", Way::Paste}};
    for (const char* box : boxes) {
        for (const auto& [inputName, input] : inputs) {
            for (const auto& [wayName, way] : ways) {
                QTest::addRow("%s, %s, %s", box, inputName, wayName)
                    << QString::fromLatin1(box) << int(input) << int(way);
            }
        }
    }
}

void TestTextBoxes::everyBox()
{
    QFETCH(QString, box);
    QFETCH(int, input);
    QFETCH(int, way);
    QTemporaryDir dir;
    FaultFixture f;
    // Ports a typed number may name lead nowhere, whatever devices this machine has.
    for (const char* n : {"9", "99", "999", "9999"})
        qputenv(QByteArray("TARNOLUX_COM") + n, dir.filePath(QStringLiteral("no-such-line")).toLocal8Bit());
    const bool tobarBox = box == QLatin1String("TextTobar") || box == QLatin1String("TextGONG") ||
                          box == QLatin1String("TextReticle");
    f.store()->setValue(QStringLiteral("options/display"),
                        tobarBox ? QStringLiteral("True") : QStringLiteral("False"));
    FormMain& w = f.start();
    w.TimerDisplay->stop(); // ticked by hand below
    w.TimerDisplay_Timer();
    FileDialog::setChooser(
        [&dir](FileDialog::Kind, const QString&) { return dir.filePath(QStringLiteral("t.txt")); });

    QWidget* window = &w;
    if (box == QLatin1String("TextPortNum") || box == QLatin1String("TextStatus")) {
        window = &f.link->form();
        window->show();
    } else if (box == QLatin1String("TextPath") || box == QLatin1String("TextSeconds")) {
        FormOptions& options = w.options();
        options.CheckBackground->setChecked(box == QLatin1String("TextPath"));
        options.TextPath->setText(dir.path() + QLatin1Char('/'));
        window = &options;
        window->show();
    }
    auto* edit = window->findChild<QLineEdit*>(box);
    QVERIFY(edit);
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->activateWindow();
    edit->setFocus();
    const QString before = edit->text();

    // The input: keys replace what is selected; a paste replaces all (or adds to a path).
    const QString text = textFor(Input(input), Way(way));
    const bool keepPrefix = box == QLatin1String("TextPath") && Input(input) != Input::Empty;
    if (Way(way) == Way::Keys) {
        QTest::keyClick(edit, Qt::Key_End);
        if (!keepPrefix)
            QTest::keyClick(edit, Qt::Key_Home, Qt::ShiftModifier);
        if (text.isEmpty())
            QTest::keyClick(edit, Qt::Key_Backspace);
        else
            typeText(edit, text);
    } else {
        QGuiApplication::clipboard()->setText(text);
        if (keepPrefix)
            edit->end(false);
        else
            edit->selectAll();
        // The box's own context menu, which a read-only box offers no paste in.
        std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
        QAction* paste = nullptr;
        for (QAction* action : menu->actions()) {
            if (action->text().startsWith(QLatin1String("&Paste")))
                paste = action;
        }
        QCOMPARE(paste != nullptr, !edit->isReadOnly());
        if (paste && paste->isEnabled())
            paste->trigger();
    }
    const QString entered = edit->text();
    QVERIFY(entered.size() <= edit->maxLength());

    if (box == QLatin1String("TextTimer")) {
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(f.state->internal.msgSignalEvery, divisorFor(Numbers::leadingNumber(entered)));
        w.CommandStart->click();
        QVERIFY(w.isStoring());
        QCOMPARE(f.state->internal.msgSignalEvery, divisorFor(Numbers::leadingNumber(entered)));
        w.CommandStop->click();
        QCOMPARE(f.state->internal.msgSignalEvery, 1000000);
    } else if (box == QLatin1String("TextX") || box == QLatin1String("TextY") ||
               box == QLatin1String("TextLine")) {
        w.TimerDisplay_Timer();
        QCOMPARE(w.TextX->text(), f.state->angles.angleXText());
        QCOMPARE(w.TextY->text(), f.state->angles.angleYText());
    } else if (tobarBox) {
        // No port: the tick leaves the boxes alone and "Value to table" takes them as they stand.
        f.state->link.lastTobarMsg = 30;
        w.CommandVal2Table->click();
        FlexGrid* grid = w.tables().currentGrid();
        QCOMPARE(grid->Rows(), 2);
        QCOMPARE(grid->TextMatrix(1, 1), w.TextTobar->text());
        QCOMPARE(grid->TextMatrix(1, 4), w.TextGONG->text());
        QCOMPARE(grid->TextMatrix(1, 5), QStringLiteral("Line pair ") + w.TextReticle->text());
        w.CommandSave->click();
        w.Command1->click();
        QVERIFY(f.messages.isEmpty());
        QVERIFY(QFileInfo(dir.filePath(QStringLiteral("t.txt"))).size() > 0);
        QVERIFY(QGuiApplication::clipboard()->text().endsWith(QLatin1String("\r\n")));
    } else if (box == QLatin1String("TextPortNum")) {
        const QString status = f.link->loaded()->TextStatus->text();
        QVERIFY2(status == QLatin1String("o.k.") || status == QLatin1String("Port is not available") ||
                     status.endsWith(QLatin1String(" - Don't know what's wrong")),
                 qPrintable(status));
        QCOMPARE(f.state->link.conStatus, qint16(status == QLatin1String("o.k.") ? 1 : 0));
        QCOMPARE(f.link->loaded()->comPort().PortOpen(), f.state->link.conStatus == 1);
    } else if (box == QLatin1String("TextStatus")) {
        QCOMPARE(entered, before); // read-only
    } else if (box == QLatin1String("TextPath")) {
        FormOptions* options = w.optionsLoaded();
        options->CommandOK->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        const bool written = QFileInfo(entered).isFile();
        QCOMPARE(w.optionsLoaded() == nullptr, written); // closes only with a writable file
        QCOMPARE(f.messages.size(), written ? 0 : 1);
        QCOMPARE(f.state->options.updatePath, entered);
        QCOMPARE(f.store()->value(QStringLiteral("options/updatePath")).toString(), entered);
    } else if (box == QLatin1String("TextSeconds")) {
        w.optionsLoaded()->CommandOK->click();
        const double seconds = f.state->options.backgroundSeconds;
        QVERIFY(std::isfinite(seconds));
        QVERIFY(seconds <= FormOptions::MaxBackgroundSeconds);
        QCOMPARE(f.store()->value(QStringLiteral("options/updateSeconds")).toString(),
                 Numbers::shortestText(seconds));
        if (Way(way) == Way::Keys) // the key filter lets digits only through
            QVERIFY(std::all_of(entered.begin(), entered.end(), [](QChar c) { return c.isDigit(); }));
    }

    // Whatever the boxes hold, the program closes normally.
    w.close();
    QVERIFY(f.store()->contains(QStringLiteral("pos/width")));
}

QTEST_MAIN(TestTextBoxes)
#include "test_textboxes.moc"
