#include "records/durable.hpp"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/platform.hpp"

namespace tacsim {

namespace {

std::string folder_of(const std::string& path) {
    const std::string parent = std::filesystem::path(path).parent_path().string();
    return parent.empty() ? "." : parent;
}

}  // namespace

bool sync_path(const std::string& path) { return platform::sync_path(path); }

bool write_whole(const std::string& path, std::string_view text, std::string* why) {
    const std::filesystem::path p(path);
    const std::string tmp = (p.parent_path() / ("." + p.filename().string() + ".part")).string();
    std::FILE* f = std::fopen(tmp.c_str(), "wb");
    if (f == nullptr) {
        if (why != nullptr) *why = std::strerror(errno);
        return false;
    }
    errno = 0;
    int err = 0;
    if (std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fflush(f) != 0) err = errno ? errno : EIO;
    if (err == 0 && !platform::sync_stream(f)) err = errno ? errno : EIO;
    if (std::fclose(f) != 0 && err == 0) err = errno ? errno : EIO;
    if (err != 0) {
        std::remove(tmp.c_str());
        if (why != nullptr) *why = std::strerror(err);
        return false;
    }
    if (!platform::replace_file(tmp, path, why)) {
        std::remove(tmp.c_str());
        return false;
    }
    platform::sync_path(folder_of(path));
    return true;
}

}  // namespace tacsim
