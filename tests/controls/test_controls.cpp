// The controls of every window as an operator uses them: clicks anywhere in an option button's or check
// box's rectangle, captions that fit their rectangles, Tab, Enter and Space.
#include "connection/comlink.h"
#include "connection/formcom.h"
#include "dialogs/formoptions.h"
#include "dialogs/frmabout.h"
#include "mainwindow/formmain.h"
#include "state/appstate.h"
#include "widgets/controls.h"
#include "widgets/messagebox.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSettings>
#include <QSignalSpy>
#include <QStyle>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

class TestControls : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<AppState> m_state;
    std::unique_ptr<ComLink> m_link;
    std::unique_ptr<FormMain> m_main;

    // The four windows, loaded and shown.
    QList<QWidget*> windows()
    {
        auto* about = new frmAbout(m_main.get());
        about->show();
        m_main->options().show();
        m_link->form().show();
        return {m_main.get(), &m_link->form(), &m_main->options(), about};
    }

    // Where a caption is cut, a description of it; else empty.
    static QString cut(QWidget* w)
    {
        const QFontMetrics metrics = w->fontMetrics();
        const auto tooWide = [&](const QString& text, int room) {
            return metrics.horizontalAdvance(text) > room ? w->objectName() + QLatin1String(": ") + text
                                                          : QString();
        };
        if (auto* button = qobject_cast<CommandButton*>(w)) {
            const QRect room = button->captionRect();
            for (const QString& word : button->text().split(QLatin1Char(' ')))
                if (!tooWide(word, room.width()).isEmpty())
                    return tooWide(word, room.width());
            const QRect need = metrics.boundingRect(room, Qt::AlignCenter | Qt::TextWordWrap, button->text());
            return need.height() > room.height() ? w->objectName() + QLatin1String(" needs more lines")
                                                 : QString();
        }
        if (auto* label = qobject_cast<QLabel*>(w)) {
            const QRect room = label->contentsRect();
            if (!label->wordWrap())
                return tooWide(label->text(), room.width());
            const QRect need = metrics.boundingRect(room, Qt::TextWordWrap, label->text());
            return need.height() > room.height() ? w->objectName() + QLatin1String(" needs more lines")
                                                 : QString();
        }
        if (auto* option = qobject_cast<QRadioButton*>(w)) {
            const int mark = w->style()->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, w) +
                             w->style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, w);
            return tooWide(option->text(), w->width() - mark);
        }
        if (auto* box = qobject_cast<QCheckBox*>(w)) {
            const int mark = w->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, w) +
                             w->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, w);
            return tooWide(box->text(), w->width() - mark);
        }
        if (auto* frame = qobject_cast<QGroupBox*>(w))
            return tooWide(frame->title(), w->width());
        return {};
    }

private slots:
    void init()
    {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir.path());
        qputenv("TARNOLUX_COM1", m_dir.filePath(QStringLiteral("no-device")).toLocal8Bit());
        MessageBox::setHandler([](QWidget*, const QString&) {});
        m_state = std::make_unique<AppState>();
        m_link = std::make_unique<ComLink>(*m_state);
        m_main = std::make_unique<FormMain>(*m_state, *m_link);
        m_main->show();
        m_main->TimerDisplay_Timer(); // the first tick lays the window out
    }
    void cleanup()
    {
        m_main.reset();
        m_link.reset();
        m_state.reset();
    }

    void clickAnywhereInTheRectangle()
    {
        for (QWidget* window : windows()) {
            for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
                if (!button->isVisible() || !button->isEnabled() || qobject_cast<QPushButton*>(button))
                    continue;
                const bool radio = qobject_cast<QRadioButton*>(button);
                if (radio && button->isChecked())
                    continue;
                const bool before = button->isChecked();
                // The far right end of the rectangle, beyond the caption.
                QTest::mouseClick(button, Qt::LeftButton, {},
                                  QPoint(button->width() - 2, button->height() / 2));
                QVERIFY2(button->isChecked() != before, qPrintable(button->objectName()));
            }
        }
    }

    void noCaptionIsCut()
    {
        // Both layouts of the main window, with the readout button shown.
        for (const bool tobar : {false, true}) {
            m_state->options.modeTobar = tobar;
            m_main->TimerDisplay_Timer();
            m_main->CommandLoadFromOrv->setVisible(true);
            QStringList cuts;
            for (QWidget* window : windows())
                for (QWidget* w : window->findChildren<QWidget*>())
                    if (w->isVisible() && !cut(w).isEmpty())
                        cuts << cut(w);
            QVERIFY2(cuts.isEmpty(), qPrintable(cuts.join(QLatin1String(", "))));
        }
    }

    void readoutCaptionFollowsTheMode()
    {
        for (const bool tobar : {true, false, true}) {
            m_state->options.modeTobar = tobar;
            m_main->TimerDisplay_Timer();
            QCOMPARE(m_main->CommandLoadFromOrv->text(),
                     tobar ? QStringLiteral("Load From TOBAR") : QStringLiteral("Load from ORVELAN"));
        }
    }

    void tabLeavesFilteredBoxes()
    {
        FormOptions& options = m_main->options();
        options.CheckBackground->setChecked(true);
        options.show();
        for (QLineEdit* box : {m_main->TextTimer, options.TextSeconds}) {
            box->window()->activateWindow();
            box->setFocus();
            QTRY_VERIFY(box->hasFocus());
            const QString before = box->text();
            QTest::keyClick(box, Qt::Key_Tab);
            QVERIFY2(!box->hasFocus(), qPrintable(box->objectName()));
            QCOMPARE(box->text(), before);
        }
    }

    void tabFollowsTheLayout()
    {
        FormCom& form = m_link->form();
        QWidget* expected[] = {form.TextPortNum, form.TextStatus,   form.OptionCompatible,
                               form.OptionText,  form.CommandClose, form.optionHR};
        const auto next = [](QWidget* w) {
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus));
            return w;
        };
        for (size_t i = 0; i + 1 < std::size(expected); ++i)
            QCOMPARE(next(expected[i])->objectName(), expected[i + 1]->objectName());
        QCOMPARE(next(m_main->CommandOpen), m_main->CommandSave);
        QCOMPARE(next(m_main->Command1), m_main->Command2);
        QCOMPARE(next(m_main->TextX), m_main->OptionArcsec);
    }

    void enterAndSpacePressTheFocusedButton()
    {
        m_main->activateWindow();
        QPushButton* store = m_main->CommandVal2Table;
        QSignalSpy clicked(store, &QAbstractButton::clicked);
        for (const auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            const qsizetype before = clicked.count();
            store->setFocus();
            QTest::keyClick(store, key);
            QTRY_COMPARE(clicked.count(), before + 1);
        }
        FormCom& form = m_link->form();
        form.show();
        form.CommandClose->setFocus();
        QTest::keyClick(form.CommandClose, Qt::Key_Return);
        QTRY_VERIFY(!form.isVisible());
    }
};

QTEST_MAIN(TestControls)
#include "test_controls.moc"
