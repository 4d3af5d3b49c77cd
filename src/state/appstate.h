#pragma once

#include "state/anglemanager.h"
#include "state/linkinternal.h"
#include "state/linkstate.h"
#include "state/mainoptions.h"

// The one owner of the shared state, created at program start; windows get references to its parts.
struct AppState {
    LinkState link;
    MainOptions options;
    LinkInternal internal;
    AngleManager angles{link};
};
