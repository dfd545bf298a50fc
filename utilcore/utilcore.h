// The utility library's public header: every unit header of utilcore.
#pragma once

#include "Convert.h"
#include "FileUtil.h"
#include "StrFormat.h"
#include "TimeUtil.h"
#if __has_include("Log.h")
#include "Log.h"
#endif
#if __has_include("WexString.h")
#include "WexString.h"
#endif
#if __has_include("DesUtil.h")
#include "DesUtil.h"
#endif
#if __has_include("DPNList.h")
#include "DPNList.h"
#endif
