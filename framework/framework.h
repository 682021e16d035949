// The application framework the desktop tool is written against: a small
// layer on raw Win32 with the classes and helpers the tool's windows use.
#pragma once

#include "framework/cstring.h"
#include "framework/dialog.h"
#include "framework/file_dialog.h"
#include "framework/gdi.h"
#include "framework/object.h"
#include "framework/win_app.h"
#include "framework/wnd.h"
