// Directory listing, drive substitutes and case-insensitive file names (POSIX).
#include "platform/files.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// True for a name the listing leaves out: "." and hidden names other than "..".
bool name_hidden(const char *name) {
    if (name[0] != '.')
        return false;
    return strcmp(name, "..") != 0;
}

// Joins a directory and a name; "" and "." stand for the current directory.
std::string path_join(const char *dir, const char *name) {
    if (dir == nullptr || dir[0] == '\0' || strcmp(dir, ".") == 0)
        return name;
    std::string p = dir;
    if (p.back() != '/')
        p += '/';
    return p + name;
}

// True when path names a directory (following links).
bool path_is_dir(const std::string &path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

int ListDirectory(const char *path, std::vector<DirItem> &out) {
    out.clear();
    const char *dir = (path == nullptr || path[0] == '\0') ? "." : path;
    DIR *d = opendir(dir);
    if (d == nullptr)
        return 0;
    for (;;) {
        errno = 0;
        struct dirent *e = readdir(d);
        if (e == nullptr)
            break; // the end, or a read error: keep what was read
        if (name_hidden(e->d_name))
            continue;
        int isDir;
        if (e->d_type == DT_DIR)
            isDir = 1;
        else if (e->d_type == DT_REG)
            isDir = 0;
        else {
            // Links and file systems without types: ask the entry itself; one
            // that vanished since is dropped.
            std::string full = path_join(path, e->d_name);
            struct stat st;
            if (stat(full.c_str(), &st) != 0 && lstat(full.c_str(), &st) != 0)
                continue;
            isDir = S_ISDIR(st.st_mode) ? 1 : 0;
        }
        out.push_back(DirItem{e->d_name, isDir});
    }
    closedir(d);
    return 1;
}

std::vector<DriveItem> ListDrives(void) {
    std::vector<DriveItem> drives;
    drives.push_back(DriveItem{"/", "/"});
    const char *home = getenv("HOME");
    if (home != nullptr && home[0] == '/' && strcmp(home, "/") != 0 && path_is_dir(home))
        drives.push_back(DriveItem{"~", home});
    return drives;
}

int ChangeDirectory(const char *path) {
    if (path == nullptr || path[0] == '\0')
        return 0;
    return chdir(path) == 0 ? 1 : 0;
}

std::string CurrentDirectory(void) {
    char buf[PATH_MAX];
    if (getcwd(buf, sizeof buf) == nullptr)
        return "";
    return buf;
}

int MapFileName(const char *name, std::string &real) {
    real = name == nullptr ? "" : name;
    if (real.empty())
        return 0;
    struct stat st;
    if (lstat(real.c_str(), &st) == 0)
        return 1;
    size_t slash = real.rfind('/');
    std::string dir = slash == std::string::npos ? "." : real.substr(0, slash + 1);
    std::string base = slash == std::string::npos ? real : real.substr(slash + 1);
    if (base.empty())
        return 0;
    DIR *d = opendir(dir.c_str());
    if (d == nullptr)
        return 0;
    std::string best;
    while (struct dirent *e = readdir(d)) {
        if (strcasecmp(e->d_name, base.c_str()) != 0)
            continue;
        if (best.empty() || strcmp(e->d_name, best.c_str()) < 0)
            best = e->d_name;
    }
    closedir(d);
    if (best.empty())
        return 0;
    real = slash == std::string::npos ? best : dir + best;
    return 1;
}

FILE *OpenFile(const char *name, const char *mode) {
    std::string real;
    MapFileName(name, real);
    if (real.empty())
        return nullptr;
    return fopen(real.c_str(), mode);
}

int RenameOver(const char *from, const char *to) {
    return rename(from, to) == 0 ? 1 : 0;
}

int DeleteFile(const char *name) {
    std::string real;
    if (!MapFileName(name, real))
        return 0;
    return remove(real.c_str()) == 0 ? 1 : 0;
}
