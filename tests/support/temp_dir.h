// Fresh temporary directories for tests, removed at the end: a TempDir is
// the current directory while it lives (files the library keeps there never
// touch the source or build tree); a Workspace names paths inside it.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

class TempDir {
  public:
    TempDir() {
        old_ = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "brox-test-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
        std::filesystem::current_path(path_);
    }
    ~TempDir() {
        std::filesystem::current_path(old_);
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

  private:
    std::filesystem::path old_;
    std::filesystem::path path_;
};

// For child processes, each started in a folder of the workspace.
class Workspace {
  public:
    Workspace() {
        std::string pattern = (std::filesystem::temp_directory_path() / "brox-game-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        path_ = pattern;
    }
    ~Workspace() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Workspace(const Workspace &) = delete;
    Workspace &operator=(const Workspace &) = delete;

    std::string operator/(const std::string &name) const { return (path_ / name).string(); }
    std::string str() const { return path_.string(); }

  private:
    std::filesystem::path path_;
};
