// Which initials function the upgrade window starts with: the pinyin library's.
#pragma once

#include "frmUpVrekMain.h"

TGetPinYinFirstChar DefaultPinYinFunction();
