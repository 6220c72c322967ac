#pragma once
// Where the program may load DLLs from. It lives in a folder the user can
// write to (its ErrorLog.txt sits beside it), so a DLL dropped there under
// the name of a system DLL would otherwise be loaded in place of the real
// one: the program's folder comes first in the default search order.
//
// RestrictDllSearch() is the first call in WinMain; from then on every
// LoadLibrary that names a bare DLL looks in the system folder only. It
// cannot help with DLLs in the import table: the loader resolves those
// before WinMain runs. So the program imports statically only DLLs that
// Windows protects as KnownDLLs (kernel32, user32, gdi32, advapi32, ole32,
// oleaut32, shell32, msvcrt, ...) and loads any other through
// LoadSystemLibrary (version.dll for the version resource).

#include <windows.h>

namespace quillon::win32 {

// Restricts the process's DLL search to the system folder and drops the
// current directory from it. True when the default DLL directories could be
// set (Windows 8 and later, or Windows 7 with its loader update); false when
// only the current directory could be dropped. Never fails otherwise.
bool RestrictDllSearch();

// Loads a system DLL by bare file name ("version.dll") from the system
// folder only; null when it is not there or the name has a path in it. The
// caller frees the module with FreeLibrary.
HMODULE LoadSystemLibrary(const char* fileName);

}  // namespace quillon::win32
