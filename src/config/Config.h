#pragma once

// The configuration model: action values (ActionModel.h), the settings record (DockConfig.h)
// and the store that loads and saves its file (ConfigStore.h).
#include "config/ActionModel.h"
#include "config/ConfigStore.h"
#include "config/DockConfig.h"
