// A scratch directory for one test, removed with everything in it afterwards,
// and a guard that puts the current directory back.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/forms_test_XXXXXX";
        const char *p = mkdtemp(tmpl);
        path = p != nullptr ? p : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path.empty())
            std::filesystem::remove_all(path, ec);
    }
    // Creates an empty file (or a directory) inside.
    void file(const std::string &name) const {
        FILE *f = fopen((path + "/" + name).c_str(), "w");
        if (f != nullptr)
            fclose(f);
    }
    void dir(const std::string &name) const {
        std::filesystem::create_directories(path + "/" + name);
    }
};

struct CwdGuard {
    std::string saved;
    CwdGuard() {
        char buf[4096];
        saved = getcwd(buf, sizeof buf) != nullptr ? buf : "/";
    }
    ~CwdGuard() {
        if (chdir(saved.c_str()) != 0)
            perror("chdir");
    }
};
