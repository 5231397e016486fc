// The platform layer on Windows (built with MinGW-w64).
#ifdef _WIN32

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// after windows.h
#include <bcrypt.h>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>
#include <thread>

#include "platform/platform.hpp"

namespace tacsim::platform {

namespace {

std::wstring wide(const std::string& path) { return std::filesystem::path(path).wstring(); }

std::string message(DWORD err) { return std::system_category().message(static_cast<int>(err)); }

// The name of the lock file in a folder; made with the lock and deleted by
// the system when its last handle closes, also when the process is killed.
constexpr const char* kLockName = ".tacsim.lock";

void (*noted)(int) = nullptr;

BOOL WINAPI console_event(DWORD event) {
    if (noted == nullptr) return FALSE;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: noted(2); return TRUE;  // as SIGINT
        default: return FALSE;                         // closing the window ends the process
    }
}

}  // namespace

FolderLock::Outcome FolderLock::lock(const std::string& folder, bool shared) {
    release();
    const std::filesystem::path p = std::filesystem::path(folder.empty() ? "." : folder) / kLockName;
    HANDLE h = ::CreateFileW(p.wstring().c_str(), GENERIC_READ | GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                             FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        return ::GetLastError() == ERROR_SHARING_VIOLATION ? Outcome::busy : Outcome::unavailable;
    }
    OVERLAPPED at{};
    if (!::LockFileEx(h, (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
        const DWORD err = ::GetLastError();
        ::CloseHandle(h);
        return err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING ? Outcome::busy : Outcome::unavailable;
    }
    handle_ = reinterpret_cast<std::intptr_t>(h);
    return Outcome::locked;
}

std::string FolderLock::handle_path() const { return {}; }

double free_cores() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? static_cast<double>(n) : 1.0;
}

void FolderLock::release() {
    if (handle_ != -1) ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
    handle_ = -1;
}

bool sync_path(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return true;  // folders cannot be flushed here
    HANDLE h = ::CreateFileW(wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = ::FlushFileBuffers(h) != 0;
    ::CloseHandle(h);
    return ok;
}

bool sync_stream(std::FILE* f) {
    HANDLE h = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(f)));
    return h != INVALID_HANDLE_VALUE && ::FlushFileBuffers(h) != 0;
}

bool replace_file(const std::string& from, const std::string& to, std::string* why) {
    if (::MoveFileExW(wide(from).c_str(), wide(to).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (why != nullptr) *why = message(::GetLastError());
    return false;
}

bool cut_file(std::FILE* f, std::int64_t size) {
    return ::_chsize_s(::_fileno(f), size) == 0 && ::_fseeki64(f, size, SEEK_SET) == 0;
}

bool is_terminal(std::FILE* f) { return f != nullptr && ::_isatty(::_fileno(f)) != 0; }

void utc_time(std::time_t t, std::tm& out) { ::gmtime_s(&out, &t); }

std::FILE* create_new_file(const std::string& path) {
    const int fd = ::_wopen(wide(path).c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = ::_fdopen(fd, "wb");
    if (f == nullptr) ::_close(fd);
    return f;
}

const char* null_device() { return "NUL"; }

void watch_interruptions(void (*note)(int)) {
    noted = note;
    ::SetConsoleCtrlHandler(console_event, TRUE);
}

void binary_standard_streams() {
    ::_setmode(::_fileno(stdout), _O_BINARY);
    ::_setmode(::_fileno(stderr), _O_BINARY);
}

bool sha256_file(const std::string& path, std::array<unsigned char, 32>& digest) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> f(::_wfopen(wide(path).c_str(), L"rb"), &std::fclose);
    if (!f) return false;
    BCRYPT_ALG_HANDLE alg = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&alg, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) return false;
    BCRYPT_HASH_HANDLE hash = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptCreateHash(alg, &hash, nullptr, 0, nullptr, 0, 0))) {
        ::BCryptCloseAlgorithmProvider(alg, 0);
        return false;
    }
    bool ok = true;
    unsigned char buf[1 << 15];
    for (std::size_t n; ok && (n = std::fread(buf, 1, sizeof buf, f.get())) > 0;)
        ok = BCRYPT_SUCCESS(::BCryptHashData(hash, buf, static_cast<ULONG>(n), 0));
    ok = ok && !std::ferror(f.get()) &&
         BCRYPT_SUCCESS(::BCryptFinishHash(hash, digest.data(), static_cast<ULONG>(digest.size()), 0));
    ::BCryptDestroyHash(hash);
    ::BCryptCloseAlgorithmProvider(alg, 0);
    return ok;
}

}  // namespace tacsim::platform

#endif
