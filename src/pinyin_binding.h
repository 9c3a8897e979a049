// Which initials function the upgrade window starts with: the pinyin library's when the build
// links it, otherwise one that refuses to run, so that a build without the library can never
// store made-up initials.
#pragma once

#include "frmUpVrekMain.h"

TGetPinYinFirstChar DefaultPinYinFunction();
