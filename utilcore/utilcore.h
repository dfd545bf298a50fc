// The utility library's public header: every unit header of utilcore.
#pragma once

#include "Convert.h"
#include "DPNList.h"
#include "DesUtil.h"
#include "FileUtil.h"
#include "Log.h"
#include "StrFormat.h"
#include "TimeUtil.h"
#include "WexString.h"
