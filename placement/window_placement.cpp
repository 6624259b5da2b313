#include "placement/window_placement.h"

#include <cstdint>
#include <string>

#include "registry/registry_library.h"

namespace WindowPlacement {

std::int32_t LastPosition = 0;

namespace {

// One window's registry entry: its key and the names of its two values.
struct Entry {
    const char* path;
    const char* left;
    const char* top;
};

constexpr Entry kMain{"HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer\\Window Position", "Left",
                      "Top"};
constexpr Entry kHorizontal{"HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer\\Window PositionH",
                            "LeftH", "TopH"};
constexpr Entry kVertical{"HKEY_CURRENT_USER\\Software\\Quillmoss\\Pixometer\\Window PositionV",
                          "LeftV", "TopV"};

// The registry library cuts the path it is given down to its subkey, so
// every call gets a fresh copy of the full path.
std::int32_t ReadPosition(const Entry& entry, const char* value_name) {
    std::string path = entry.path;
    return RegistryLibrary::ReadTextValue(path, value_name).number();
}

void WritePosition(const Entry& entry, const char* value_name, std::int32_t twips) {
    std::string path = entry.path;
    RegistryLibrary::WriteTextValue(path, value_name, forms::DecimalText(twips));
}

// A read that fails (missing, not a number) is abandoned before it stores
// anything, and the window still gets LastPosition: a restore always sets
// both coordinates.
void Restore(forms::Form& window, const Entry& entry) {
    forms::ResumeNext([&] { LastPosition = ReadPosition(entry, entry.left); },
                      [&] { window.set_property("Left", LastPosition); },
                      [&] { LastPosition = ReadPosition(entry, entry.top); },
                      [&] { window.set_property("Top", LastPosition); });
}

void Save(forms::Form& window, const Entry& entry) {
    std::string path = entry.path;
    RegistryLibrary::EnsureKey(path);
    WritePosition(entry, entry.left, window.property("Left"));
    WritePosition(entry, entry.top, window.property("Top"));
}

}  // namespace

void RestoreMainPosition(forms::Form& window) { Restore(window, kMain); }
void RestorePositionH(forms::Form& window) { Restore(window, kHorizontal); }
void RestorePositionV(forms::Form& window) { Restore(window, kVertical); }
void SaveMainPosition(forms::Form& window) { Save(window, kMain); }
void SavePositionH(forms::Form& window) { Save(window, kHorizontal); }
void SavePositionV(forms::Form& window) { Save(window, kVertical); }

}  // namespace WindowPlacement
