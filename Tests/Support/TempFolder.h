#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <string>
#include <system_error>

// A fresh folder under the system's temporary folder, removed with everything
// in it (read-only entries too) when the object goes. The name may hold text
// outside ASCII (UTF-8).
class TempFolder
{
public:
    explicit TempFolder(const std::string& prefix = "launcher-test")
    {
        static std::atomic<int> counter{0};
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        Path =
            std::filesystem::temp_directory_path() /
            std::filesystem::u8path(prefix + "-" + std::to_string(stamp) + "-" + std::to_string(counter++));
        std::filesystem::create_directories(Path);
    }
    ~TempFolder()
    {
        namespace fs = std::filesystem;
        std::error_code error;
        // Read-only entries would stop the clean-up on Windows.
        for (auto it = fs::recursive_directory_iterator(Path, error); !error && it != fs::end(it);
             it.increment(error))
            fs::permissions(it->path(), fs::perms::owner_write,
                            fs::perm_options::add | fs::perm_options::nofollow, error);
        fs::remove_all(Path, error);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    std::filesystem::path At(const std::string& relative) const
    {
        return Path / std::filesystem::u8path(relative);
    }

    std::filesystem::path Path;
};
