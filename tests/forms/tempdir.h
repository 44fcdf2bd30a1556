// A scratch directory for one test, removed with everything in it afterwards,
// and a guard that puts the current directory back.
#pragma once

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

struct TempDir {
    std::string path;
    TempDir() {
        // a new directory of a random name in the system's scratch place
        std::error_code ec;
        std::filesystem::path base = std::filesystem::temp_directory_path(ec);
        std::random_device seed;
        for (int tries = 0; tries < 100 && path.empty(); tries++) {
            std::filesystem::path p = base / ("forms_test_" + std::to_string(seed()));
            if (std::filesystem::create_directory(p, ec))
                path = p.string();
        }
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
    std::filesystem::path saved;
    CwdGuard() {
        std::error_code ec;
        saved = std::filesystem::current_path(ec);
    }
    ~CwdGuard() {
        std::error_code ec;
        std::filesystem::current_path(saved, ec);
        if (ec)
            perror("chdir");
    }
};
