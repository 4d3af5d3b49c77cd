// The main window's buttons that open the options dialog and the about box. The main window leaves the
// always-on-top layer while either is shown, so the dialog can come to the front.
#include "mainwindow/formmain.h"

#include "dialogs/formoptions.h"
#include "dialogs/frmabout.h"
#include "state/appstate.h"
#include "widgets/windowlayer.h"

void FormMain::openOptions()
{
    if (m_state.options.onTop)
        WindowLayer::setTopmost(this, false);
    options().exec();
    // The dialog may have changed "Always on top".
    WindowLayer::setTopmost(this, m_state.options.onTop);
}

void FormMain::openAbout()
{
    if (m_state.options.onTop)
        WindowLayer::setTopmost(this, false);
    auto* about = new frmAbout(this);
    about->exec();
    WindowLayer::setTopmost(this, m_state.options.onTop);
}
