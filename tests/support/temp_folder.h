// temp_folder.h -- a throwaway folder under the system's temporary folder, for tests that read and write files.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace testfs {

// A fresh, empty folder named after prefix, this process and a serial number; removed with everything in it
// when this goes.
class TempFolder {
public:
    explicit TempFolder(const std::string& prefix)
    {
        static int serial = 0;
        path_ = std::filesystem::temp_directory_path() /
                (prefix + "-" + std::to_string(getpid()) + "-" + std::to_string(serial++));
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

} // namespace testfs
