#pragma once
// The port's section lives in the settings library, shared with orvik-cli.
#include "settings/PortSection.h"
