// Files and directories for the screen library's file picker and the programs.
//
// A directory is listed as its raw names (with a flag for subdirectories),
// and the places a user can jump to from anywhere stand in for a PC's drive
// letters: the root of the file system and the user's home directory. The
// screens show names in capitals, while the files on disk keep whatever case
// they were given; MapFileName finds the file on disk whose name matches a
// capitalised name, so a picked CONFIG.VRX opens an existing config.vrx. A
// name with no match on disk is kept as given, so new files are created with
// the capitalised names the programs give.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// One name of a directory listing.
struct DirItem {
    std::string name; // the name as it is on disk
    int directory;    // 1 for a subdirectory (a link to one counts), 0 otherwise
};

// A place listed in place of a drive letter.
struct DriveItem {
    std::string name; // what the picker shows ("/" for the root, "~" for home)
    std::string path; // where choosing it goes
};

// Lists the directory at path ("" or "." for the current one), without "."
// and without hidden names (a leading full stop) other than "..". Entries
// that vanish or cannot be examined while listing are skipped. Returns 1 when
// the directory could be read, 0 when it could not be opened (out is then
// empty); a read error part-way keeps what was read and returns 1.
int ListDirectory(const char *path, std::vector<DirItem> &out);

// The drive substitutes: the root of the file system, then the home
// directory (from HOME, when set, absolute and not the root itself).
std::vector<DriveItem> ListDrives(void);

// Makes path the process's current directory; 1 on success, 0 on failure.
int ChangeDirectory(const char *path);

// The current directory's absolute path, "" when it cannot be found.
std::string CurrentDirectory(void);

// Finds the name on disk of the file called name, ignoring the case of its
// last component: an exact match wins, otherwise the first match in byte
// order. Returns 1 with the real path in real, or 0 with name itself in real
// when no file of that name exists in any case.
int MapFileName(const char *name, std::string &real);

// fopen of the file found by MapFileName (a new file keeps the name given).
FILE *OpenFile(const char *name, const char *mode);

// Deletes the file found by MapFileName; 1 on success, 0 on failure.
int DeleteFile(const char *name);

// Renames the file from to the name to, replacing a file of that name if there
// is one (the replacement is whole: no moment without a file of that name on
// POSIX); 1 on success, 0 on failure.
int RenameOver(const char *from, const char *to);
