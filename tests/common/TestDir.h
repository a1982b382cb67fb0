#pragma once

// A fresh temporary folder for one test, removed with everything in it at
// the end; optionally made the user's settings directory.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

class TestDir
{
public:
    TestDir()
    {
        char pattern[] = "/tmp/pelmor-test-XXXXXX";
        const char* made = mkdtemp(pattern);
        fPath = made != nullptr ? made : "";
    }
    ~TestDir()
    {
        std::error_code ignored;
        std::filesystem::remove_all(fPath, ignored);
        if (fSetConfig) {
            if (fOldConfig.empty())
                unsetenv("XDG_CONFIG_HOME");
            else
                setenv("XDG_CONFIG_HOME", fOldConfig.c_str(), 1);
        }
    }

    const std::string& Path() const { return fPath; }
    std::string operator/(const std::string& leaf) const { return fPath + "/" + leaf; }

    // Points XDG_CONFIG_HOME at `folder` (this folder by default) until the
    // end of the test.
    void UseAsConfigHome(const std::string& folder = std::string())
    {
        if (!fSetConfig) {
            const char* old = getenv("XDG_CONFIG_HOME");
            fOldConfig = old != nullptr ? old : "";
            fSetConfig = true;
        }
        setenv("XDG_CONFIG_HOME", folder.empty() ? fPath.c_str() : folder.c_str(), 1);
    }

    static std::string ReadFile(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
    static void WriteFile(const std::string& path, const std::string& bytes)
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << bytes;
    }

    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

private:
    std::string fPath;
    std::string fOldConfig;
    bool fSetConfig = false;
};
