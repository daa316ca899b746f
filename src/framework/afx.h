// Everything a program of this framework includes.
#pragma once

#include "framework/cptrlist.h"
#include "framework/cstring.h"
#include "framework/winapp.h"
#include "platform/crt.h"
#include "platform/windows.h"
