// Directory listing, drives and file names (Win32).
//
// Names cross this interface as UTF-8 and the system is called with their
// UTF-16 form, so any name on disk can be listed and opened. The file system
// ignores case already: a capitalised name finds its file as it is.
#include "platform/files.h"

#include <windows.h>

#include <cstring>

// windows.h names its own DeleteFile; ours is the one of files.h
#undef DeleteFile

namespace {

std::wstring wide(const char *s) {
    if (s == nullptr || s[0] == '\0')
        return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s, -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w((size_t)n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s, -1, w.data(), n);
    w.resize((size_t)n - 1);
    return w;
}

std::string narrow(const wchar_t *w) {
    int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 0)
        return std::string();
    std::string s((size_t)n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
    s.resize((size_t)n - 1);
    return s;
}

// True for a name the listing leaves out: "." and hidden names other than "..".
bool name_hidden(const wchar_t *name) {
    return name[0] == L'.' && wcscmp(name, L"..") != 0;
}

} // namespace

int ListDirectory(const char *path, std::vector<DirItem> &out) {
    out.clear();
    std::wstring pattern = (path == nullptr || path[0] == '\0') ? L"." : wide(path);
    if (pattern.back() != L'\\' && pattern.back() != L'/' && pattern.back() != L':')
        pattern += L'\\';
    pattern += L'*';
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW(pattern.c_str(), &found);
    if (h == INVALID_HANDLE_VALUE)
        // an empty drive or directory has no names at all: still readable
        return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 0;
    do {
        if (name_hidden(found.cFileName))
            continue;
        int isDir = (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
        out.push_back(DirItem{narrow(found.cFileName), isDir});
    } while (FindNextFileW(h, &found));
    FindClose(h);
    return 1;
}

// One entry per drive letter present, A: to Z:; choosing one goes to its root.
std::vector<DriveItem> ListDrives(void) {
    std::vector<DriveItem> drives;
    DWORD present = GetLogicalDrives();
    for (int i = 0; i < 26; i++) {
        if (!(present & (1u << i)))
            continue;
        std::string name = std::string(1, (char)('A' + i)) + ":";
        drives.push_back(DriveItem{name, name + "\\"});
    }
    return drives;
}

int ChangeDirectory(const char *path) {
    if (path == nullptr || path[0] == '\0')
        return 0;
    return SetCurrentDirectoryW(wide(path).c_str()) ? 1 : 0;
}

std::string CurrentDirectory(void) {
    DWORD n = GetCurrentDirectoryW(0, nullptr);
    if (n == 0)
        return "";
    std::wstring w((size_t)n, L'\0');
    DWORD got = GetCurrentDirectoryW(n, w.data());
    if (got == 0 || got >= n)
        return "";
    w.resize(got);
    return narrow(w.c_str());
}

int MapFileName(const char *name, std::string &real) {
    real = name == nullptr ? "" : name;
    if (real.empty())
        return 0;
    return GetFileAttributesW(wide(name).c_str()) != INVALID_FILE_ATTRIBUTES ? 1 : 0;
}

FILE *OpenFile(const char *name, const char *mode) {
    if (name == nullptr || name[0] == '\0' || mode == nullptr)
        return nullptr;
    return _wfopen(wide(name).c_str(), wide(mode).c_str());
}

int DeleteFile(const char *name) {
    if (name == nullptr || name[0] == '\0')
        return 0;
    return DeleteFileW(wide(name).c_str()) ? 1 : 0;
}

int RenameOver(const char *from, const char *to) {
    if (from == nullptr || to == nullptr)
        return 0;
    return MoveFileExW(wide(from).c_str(), wide(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)
               ? 1
               : 0;
}
