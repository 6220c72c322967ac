/* A DLL planted next to a program under the name of a system DLL
 * (version.dll). Whatever process loads it leaves a line in
 * "planted-dll-loaded.txt" beside the DLL: that process's own path. Its
 * exports answer like a version.dll that finds no version resource, so a
 * program that imports them statically still starts. */

#include <windows.h>

static void WriteMarker(HINSTANCE self) {
    char path[MAX_PATH + 32];
    char program[MAX_PATH];
    DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
    DWORD programLength = GetModuleFileNameA(NULL, program, MAX_PATH);
    HANDLE file;
    DWORD written = 0;
    if (length == 0 || length >= MAX_PATH) {
        return;
    }
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/') {
        --length;
    }
    lstrcpyA(path + length, "planted-dll-loaded.txt");
    file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    WriteFile(file, program, programLength < MAX_PATH ? programLength : 0, &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
    CloseHandle(file);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    (void)reserved;
    if (reason == DLL_PROCESS_ATTACH) {
        WriteMarker(instance);
    }
    return TRUE;
}

DWORD WINAPI GetFileVersionInfoSizeA(LPCSTR name, LPDWORD handle) {
    (void)name;
    if (handle != NULL) {
        *handle = 0;
    }
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return 0;
}

BOOL WINAPI GetFileVersionInfoA(LPCSTR name, DWORD handle, DWORD size, LPVOID data) {
    (void)name;
    (void)handle;
    (void)size;
    (void)data;
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    return FALSE;
}

BOOL WINAPI VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, PUINT length) {
    (void)block;
    (void)subBlock;
    (void)buffer;
    (void)length;
    return FALSE;
}
