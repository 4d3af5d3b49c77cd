#include "dialogs/formoptions.h"

#include "link/link.h"
#include "settings/settingvalues.h"
#include "state/appstate.h"
#include "state/numbers.h"
#include "widgets/controls.h"
#include "widgets/messagebox.h"
#include "widgets/twips.h"
#include "widgets/windowfont.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

using namespace SettingValues;

namespace {

constexpr double ClientWidth = 4575;
constexpr double ClientHeight = 5010;
constexpr double CompactHeight = 2800;

qint16 stateOf(const QCheckBox* box)
{
    return box->isChecked() ? 1 : 0;
}

} // namespace

FormOptions::FormOptions(AppState& state, Link& link, OptionsHost* host)
    : QDialog(host ? host->hostWindow() : nullptr), m_state(state), m_link(link), m_host(host)
{
    setObjectName(QStringLiteral("FormOptions"));
    setWindowTitle(QStringLiteral("TARNOLUX options"));
    // Closing unloads: the next opening constructs and loads it afresh.
    setAttribute(Qt::WA_DeleteOnClose);
    const QFont font = windowFont();
    setFont(font);
    setFixedSize(Twips::toPixels(ClientWidth), Twips::toPixels(ClientHeight));

    createControls();
    connectHandlers();
    Controls::orderTabs(this);
    load();
}

FormOptions::~FormOptions() = default;

void FormOptions::createControls()
{
    using Controls::make;
    auto* displayFrame =
        make<QGroupBox>(this, "FrameDisplay", QStringLiteral("Display options"), {120, 120, 2175, 1575});
    m_tobarBox = make<CheckBox>(displayFrame, "CTobar", QStringLiteral("TOBAR"), {120, 1080, 1695, 255});
    // These two lie over the frame's area but belong to the dialog.
    m_onTopBox = make<CheckBox>(this, "CheckOnTop", QStringLiteral("Always on top"), {240, 480, 1575, 255});
    m_showTableBox =
        make<CheckBox>(this, "CheckShowTable", QStringLiteral("Show table"), {240, 840, 1455, 255});

    auto* transferFrame =
        make<QGroupBox>(this, "FrameTransfer", QStringLiteral("Transfer options"), {2520, 120, 1935, 1815});
    m_commaBox =
        make<CheckBox>(this, "CheckComma", QStringLiteral("Comma seperator"), {2640, 480, 1695, 255});
    m_transferLabel = make<QLabel>(transferFrame, "LabelTransfer",
                                   QStringLiteral("Transfer data from Vemtor with:"), {120, 720, 1575, 375});
    m_transferLabel->setWordWrap(true);
    m_transferLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_exitKeyBox =
        make<CheckBox>(transferFrame, "CheckExitKey", QStringLiteral("exit key"), {120, 1200, 1695, 255});
    m_remoteControlBox =
        make<CheckBox>(transferFrame, "CheckIR", QStringLiteral("remote control"), {120, 1440, 1695, 255});

    auto* backgroundFrame = make<QGroupBox>(this, "FrameBackground", QStringLiteral("Background actions"),
                                            {120, 2040, 4335, 2415});
    m_backgroundBox = make<CheckBox>(backgroundFrame, "CheckBackground",
                                     QStringLiteral("Save current masurement values to background file"),
                                     {120, 360, 4095, 255});
    m_pathLabel = make<QLabel>(backgroundFrame, "LabelPath", QStringLiteral("Path and file name"),
                               {120, 720, 1575, 255});
    m_pathBox = make<QLineEdit>(backgroundFrame, "TextPath", QString(), {120, 960, 4095, 285});
    m_updateLabel = make<QLabel>(backgroundFrame, "LabelUpdate", QStringLiteral("Update values every"),
                                 {120, 1440, 1575, 255});
    m_updateEveryBox =
        make<QLineEdit>(backgroundFrame, "TextSeconds", QStringLiteral("10"), {1680, 1440, 735, 285});
    m_updateSuffixLabel = make<QLabel>(backgroundFrame, "LabelSecond", QStringLiteral("th measurement"),
                                       {2520, 1440, 1215, 255});
    m_meanBox = make<CheckBox>(backgroundFrame, "CheckMean",
                               QStringLiteral("Built mean values between updates"), {120, 1920, 3135, 255});

    auto* ok = make<CommandButton>(this, "CommandOK", QStringLiteral("OK"), {3240, 4560, 1215, 375});
    connect(ok, &QPushButton::clicked, this, &QDialog::close);
}

void FormOptions::connectHandlers()
{
    const std::pair<QCheckBox*, void (FormOptions::*)()> boxes[] = {
        {m_tobarBox, &FormOptions::applyTobarMode},
        {m_showTableBox, &FormOptions::applyShowTable},
        {m_commaBox, &FormOptions::applyComma},
        {m_exitKeyBox, &FormOptions::applyStoreAtExitKey},
        {m_remoteControlBox, &FormOptions::applyStoreAtRemoteControl},
        {m_backgroundBox, &FormOptions::updateBackgroundControls},
    };
    // A change of state, whether clicked or set by the load step, runs the handler.
    for (const auto& [box, handler] : boxes)
        connect(box, &QCheckBox::toggled, this, handler);
    m_updateEveryBox->installEventFilter(this);
}

void FormOptions::load()
{
    const MainOptions& o = m_state.options;
    m_tobarBox->setChecked(o.modeTobar);
    m_onTopBox->setChecked(o.onTop);
    m_showTableBox->setChecked(o.showTable);
    m_commaBox->setChecked(o.useComma);
    m_exitKeyBox->setChecked(m_state.link.storeAtExitkey);
    m_remoteControlBox->setChecked(m_state.link.storeAtIR);
    m_pathBox->setText(o.updatePath);
    m_updateEveryBox->setText(Numbers::shortestText(o.backgroundSeconds));
    m_backgroundBox->setChecked(o.useBackground);
    m_meanBox->setChecked(o.useMean);
    // The origin bound first, then the screen bound: a dialog larger than the screen may end up negative.
    Controls::placeOnScreen(this, readNumber(SettingKeys::OptionsLeft), readNumber(SettingKeys::OptionsTop),
                            Controls::screenTwips(this), Controls::Clamp::KeepOnScreenFirst);
    updateBackgroundControls();
    updateTransferOptions();
}

double FormOptions::dialogLeft() const
{
    return Twips::fromPixels(pos().x());
}
double FormOptions::dialogTop() const
{
    return Twips::fromPixels(pos().y());
}

void FormOptions::updateBackgroundControls()
{
    const bool enabled = m_backgroundBox->isChecked();
    for (QWidget* w : std::initializer_list<QWidget*>{m_pathLabel, m_pathBox, m_updateLabel,
                                                      m_updateSuffixLabel, m_updateEveryBox, m_meanBox})
        w->setEnabled(enabled);
}

void FormOptions::updateTransferOptions()
{
    const bool visible = m_state.link.portMode == LinkMode::Text;
    m_transferLabel->setVisible(visible);
    m_exitKeyBox->setVisible(visible);
    m_remoteControlBox->setVisible(visible);
}

void FormOptions::showEvent(QShowEvent* event)
{
    // The link mode may have changed since loading; show the transfer options for the mode now in use,
    // and enable the store triggers for the layout now shown (a dialog loaded afresh missed that change).
    if (!event->spontaneous()) {
        updateTransferOptions();
        enableStoreTriggers(!m_state.options.oldModeTobar);
    }
    QDialog::showEvent(event);
}

void FormOptions::enableStoreTriggers(bool on)
{
    m_remoteControlBox->setEnabled(on);
    m_exitKeyBox->setEnabled(on);
}

void FormOptions::applyTobarMode()
{
    m_state.options.modeTobar = stateOf(m_tobarBox) != 0;
}

void FormOptions::applyShowTable()
{
    MainOptions& o = m_state.options;
    o.showTable = stateOf(m_showTableBox) == 1;
    if (!m_host)
        return;
    // Unchecked, the main window's resize rule turns 2800 into the compact height of the current mode.
    m_host->setWindowHeight(o.showTable ? o.heightWithTable : CompactHeight);
}

void FormOptions::applyComma()
{
    m_state.options.useComma = stateOf(m_commaBox) == 1;
}
void FormOptions::applyStoreAtExitKey()
{
    m_link.setStoreTriggers(stateOf(m_exitKeyBox) == 1, m_link.state().storeAtIR);
}
void FormOptions::applyStoreAtRemoteControl()
{
    m_link.setStoreTriggers(m_link.state().storeAtExitkey, stateOf(m_remoteControlBox) == 1);
}

void FormOptions::filterCountKey(int& keyAscii)
{
    if ((keyAscii >= '0' && keyAscii <= '9') || keyAscii == 8)
        return;
    keyAscii = 0;
}

bool FormOptions::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_updateEveryBox && event->type() == QEvent::KeyPress) {
        int code = Controls::typedCharacter(static_cast<QKeyEvent*>(event));
        if (code < 0)
            return false;
        filterCountKey(code);
        return code == 0;
    }
    return QDialog::eventFilter(watched, event);
}

bool FormOptions::backgroundFileWritable() const
{
    // Opening for writing creates the file or empties it, as each background record does.
    QFile file(m_state.options.updatePath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.close();
    return true;
}

bool FormOptions::saveOptions(bool quiet)
{
    MainOptions& o = m_state.options;
    // "Always on top" takes effect only now: the main window lifts itself while the dialog is shown.
    o.onTop = stateOf(m_onTopBox) == 1;
    writeNumber(SettingKeys::OptionsTop, dialogTop());
    writeNumber(SettingKeys::OptionsLeft, dialogLeft());
    writeInt(SettingKeys::OnTop, stateOf(m_onTopBox));
    writeInt(SettingKeys::ShowTable, stateOf(m_showTableBox));
    writeInt(SettingKeys::UseComma, stateOf(m_commaBox));
    writeInt(SettingKeys::StoreAtExitKey, stateOf(m_exitKeyBox));
    writeInt(SettingKeys::StoreAtIR, stateOf(m_remoteControlBox));
    o.updatePath = m_pathBox->text();
    writeText(SettingKeys::UpdatePath, o.updatePath);
    writeInt(SettingKeys::UseBackground, stateOf(m_backgroundBox));
    o.useBackground = m_backgroundBox->isChecked();
    writeInt(SettingKeys::UseMean, stateOf(m_meanBox));
    o.useMean = m_meanBox->isChecked();
    // Any number of digits may be typed; keep the count within what the background divisor can hold.
    const double seconds = qMin(Numbers::leadingNumber(m_updateEveryBox->text()), MaxBackgroundSeconds);
    writeNumber(SettingKeys::BackgroundSeconds, seconds);
    o.backgroundSeconds = seconds;

    if (!o.useBackground)
        return true;
    if (!backgroundFileWritable()) {
        if (!quiet)
            MessageBox::show(this, QStringLiteral("Path for background file does not exist.\r\n"
                                                  "Use an existing path or uncheck the \"Hold current angles "
                                                  "...\" box."));
        return false;
    }
    m_link.setUpdateSignal(o.backgroundSeconds);
    return true;
}

void FormOptions::closeEvent(QCloseEvent* event)
{
    const bool ok = saveOptions(m_shuttingDown);
    if (!ok && !m_shuttingDown) {
        event->ignore();
        return;
    }
    // Accepted: the window closes and, being delete-on-close, unloads.
    event->accept();
}

void FormOptions::reject()
{
    close();
}

void FormOptions::closeForShutdown()
{
    m_shuttingDown = true;
    close();
}
