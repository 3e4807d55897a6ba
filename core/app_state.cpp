#include "core/app_state.h"

AppStateRecord AppState;
