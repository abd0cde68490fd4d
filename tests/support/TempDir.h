// Tavix CallerID tests: a temporary folder removed at the end of the test.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>

class TempDir
{
  public:
    TempDir()
    {
        namespace fs = std::filesystem;
        const fs::path base = fs::temp_directory_path();
        std::mt19937_64 random(std::random_device{}() ^
                               std::chrono::steady_clock::now().time_since_epoch().count());
        for (int attempt = 0; attempt < 100 && m_path.empty(); ++attempt) {
            // Creating a folder is atomic: one that exists already belongs to someone else.
            const fs::path candidate =
                base / ("tavix-test-" + std::to_string(random() % 1000000000));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                fs::permissions(candidate, fs::perms::owner_all, fs::perm_options::replace, error);
                m_path = candidate;
            }
        }
        if (m_path.empty())
            throw std::runtime_error("Cannot make a temporary folder in " + base.string());
    }
    ~TempDir()
    {
        std::error_code ignored;
        // Tests may take write permission away; give it back so the folder can go.
        std::filesystem::permissions(m_path, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

  private:
    std::filesystem::path m_path;
};

// The whole file as bytes (empty when it does not exist).
inline std::string readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
