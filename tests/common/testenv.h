// A folder of its own for every test: TEMP, TMP, TMPDIR and XDG_CONFIG_HOME
// point into it while the test runs, so no test sees another's files or
// settings, and none touches the user's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <utility>
#include <vector>
#include <string>
#include <gtest/gtest.h>
#include <unistd.h>

class IsolatedEnv {
public:
    IsolatedEnv() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vantrel-test-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        root_ = tmpl;
        std::filesystem::create_directories(root_ / "tmp");
        std::filesystem::create_directories(root_ / "config");
        save("TEMP");
        save("TMP");
        save("TMPDIR");
        save("XDG_CONFIG_HOME");
        setenv("TEMP", (root_ / "tmp").c_str(), 1);
        setenv("TMP", (root_ / "tmp").c_str(), 1);
        setenv("TMPDIR", (root_ / "tmp").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (root_ / "config").c_str(), 1);
    }
    ~IsolatedEnv() {
        for (auto &[name, value] : saved_) {
            if (value.first)
                setenv(name.c_str(), value.second.c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    IsolatedEnv(const IsolatedEnv &) = delete;
    IsolatedEnv &operator=(const IsolatedEnv &) = delete;

    const std::filesystem::path &root() const { return root_; }
    std::filesystem::path tmp() const { return root_ / "tmp"; }
    std::filesystem::path config() const { return root_ / "config"; }

private:
    void save(const char *name) {
        const char *v = std::getenv(name);
        saved_.emplace_back(name, std::make_pair(v != nullptr, v ? std::string(v) : std::string()));
    }
    std::filesystem::path root_;
    std::vector<std::pair<std::string, std::pair<bool, std::string>>> saved_;
};

// Fixture form: derive a test fixture from this to get the isolation.
class IsolatedTest : public ::testing::Test {
protected:
    IsolatedEnv env_;
};
