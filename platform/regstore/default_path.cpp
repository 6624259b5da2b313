#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/regstore/regstore.h"

namespace regstore {
namespace {

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_dir;
    return ".";
}

}  // namespace

std::string DefaultPath() {
    // The base directory rules ignore a relative XDG_CONFIG_HOME.
    const char* config = std::getenv("XDG_CONFIG_HOME");
    std::string base = (config && config[0] == '/') ? config : HomeFolder() + "/.config";
    return base + "/pixometer/registry.sqlite3";
}

}  // namespace regstore
