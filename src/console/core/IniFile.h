#pragma once
// The settings file lives in the settings library, shared with orvik-cli.
#include "settings/IniFile.h"
