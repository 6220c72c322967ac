// The control for the planted-DLL tests: loads "version.dll" by bare name.
//   (no argument)  LoadLibraryA the default way, which looks in the
//                  program's own folder first: a planted copy is loaded;
//   --safe         the same after RestrictDllSearch, as in WinMain;
//   --system       through LoadSystemLibrary.
// Exit status: 0 when a module was returned, 1 when none was.

#include <windows.h>

#include <cstring>

#include "win32/SafeDllSearch.h"

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "";
    HMODULE module = nullptr;
    if (std::strcmp(mode, "--system") == 0) {
        module = quillon::win32::LoadSystemLibrary("version.dll");
    } else {
        if (std::strcmp(mode, "--safe") == 0) {
            quillon::win32::RestrictDllSearch();
        }
        module = ::LoadLibraryA("version.dll");
    }
    return module != nullptr ? 0 : 1;
}
