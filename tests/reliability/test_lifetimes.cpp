// Windows deleted later than they close must not outlive what their destructors reach. The sanitizer build
// reports the use itself; these checks see the order without it.
#include "faultfixture.h"

#include "dialogs/formoptions.h"

#include <QPointer>
#include <QTest>

class TestLifetimes : public QObject {
    Q_OBJECT

private slots:
    // A connection window closed with its close box is deleted at the next event-loop turn; a link ended
    // before that takes it along, since the window's destructor detaches it from the link.
    void closedConnectionWindowGoesWithTheLink()
    {
        FaultFixture f;
        AppState state;
        auto link = std::make_unique<ComLink>(state);
        QPointer<FormCom> form = &link->form();
        form->close();
        QVERIFY(link->loaded() == nullptr);
        QVERIFY(!form.isNull());
        link.reset();
        QVERIFY(form.isNull());
    }

    // The loaded options dialog is deleted while the main window is still one: its destroyed signal
    // writes to the main window.
    void optionsDialogGoesBeforeTheMainWindowEnds()
    {
        FaultFixture f;
        FormMain& w = f.start();
        QTRY_VERIFY(w.optionsLoaded());
        FormOptions* options = w.optionsLoaded();
        bool mainWindowWhole = false;
        QObject::connect(options, &QObject::destroyed, options, [&mainWindowWhole, main = &w] {
            mainWindowWhole = qobject_cast<FormMain*>(static_cast<QObject*>(main)) != nullptr;
        });
        f.window.reset();
        QVERIFY(mainWindowWhole);
    }
};

QTEST_MAIN(TestLifetimes)
#include "test_lifetimes.moc"
