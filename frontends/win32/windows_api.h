// The Windows headers as the front end uses them: ANSI names only, and
// without the macros that would rename the views' methods MessageBox and
// CreateStatusWindow to their ANSI forms.
#pragma once

// clang-format off
// windows.h must come before commctrl.h.
#include <windows.h>
#include <commctrl.h>
// clang-format on

#undef MessageBox
#undef CreateStatusWindow
