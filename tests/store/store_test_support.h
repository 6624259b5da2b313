// Helpers for tests that run the registry calls on real files.
#pragma once

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "platform/os.h"

namespace storetest {

constexpr os::HKEY kCurrentUser = 0x80000001;
constexpr os::DWORD kKeyRead = 0x20019;
constexpr os::DWORD kKeyWrite = 0x20006;
constexpr os::DWORD kRegSz = 1;

// A private folder under the system's temporary folder, removed afterwards.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pixo-store-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TempFolder() {
        std::error_code ignored;
        // A test may have left a folder read-only; the owner can always chmod it back.
        for (auto& entry : std::filesystem::recursive_directory_iterator(m_path, ignored))
            if (entry.is_directory(ignored)) chmod(entry.path().c_str(), 0700);
        std::filesystem::remove_all(m_path, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

inline std::vector<char> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const std::string& path, const std::vector<char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline os::LSTATUS SetText(os::HKEY key, const char* name, const std::string& text) {
    return os::RegSetValueExA(key, name, 0, kRegSz, reinterpret_cast<const std::uint8_t*>(text.data()),
                              static_cast<os::DWORD>(text.size()));
}

// Writes one text value under HKEY_CURRENT_USER\<path>, closing the key again.
inline os::LSTATUS WriteText(const char* path, const char* name, const std::string& text) {
    os::HKEY key = 0;
    if (os::LSTATUS status = os::RegCreateKeyA(kCurrentUser, path, &key); status != 0) return status;
    os::LSTATUS status = SetText(key, name, text);
    os::LSTATUS closed = os::RegCloseKey(key);
    return status != 0 ? status : closed;
}

// Reads one text value; the status comes back in *status.
inline std::string ReadText(const char* path, const char* name, os::LSTATUS* status) {
    os::HKEY key = 0;
    *status = os::RegOpenKeyExA(kCurrentUser, path, 0, kKeyRead, &key);
    if (*status != 0) return {};
    std::vector<std::uint8_t> buffer(1024);
    os::DWORD size = static_cast<os::DWORD>(buffer.size());
    *status = os::RegQueryValueExA(key, name, nullptr, nullptr, buffer.data(), &size);
    os::RegCloseKey(key);
    return *status == 0 ? std::string(buffer.begin(), buffer.begin() + size) : std::string();
}

// Runs `body` in a child process and hands back the statuses it collected.
// As root the child first becomes the unprivileged user "nobody" (65534), so
// that folder permissions apply to it; the folders it needs must be its own.
inline bool RunInChild(bool unprivileged, const std::function<std::vector<os::LSTATUS>()>& body,
                       std::vector<os::LSTATUS>* statuses) {
    int fds[2];
    if (pipe(fds) != 0) return false;
    pid_t child = fork();
    if (child == 0) {
        close(fds[0]);
        if (unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(2);
        std::vector<os::LSTATUS> collected = body();
        auto bytes = static_cast<ssize_t>(collected.size() * sizeof(os::LSTATUS));
        _exit(write(fds[1], collected.data(), static_cast<std::size_t>(bytes)) == bytes ? 0 : 3);
    }
    close(fds[1]);
    os::LSTATUS status = 0;
    while (read(fds[0], &status, sizeof status) == static_cast<ssize_t>(sizeof status))
        statuses->push_back(status);
    close(fds[0]);
    int exit_status = 0;
    return child > 0 && waitpid(child, &exit_status, 0) == child && WIFEXITED(exit_status) &&
           WEXITSTATUS(exit_status) == 0;
}

}  // namespace storetest
