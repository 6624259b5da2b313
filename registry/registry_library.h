// A small library over the registry: full key paths such as
// "HKEY_CURRENT_USER\Software\Quillmoss\Pixometer" split into root and
// subkey, a quiet set of operations for the program's own use (no messages,
// failures become "Error" or nothing) and a reporting set that shows what
// went wrong in a message box.
//
// Every operation takes the key path as an in-out argument and hands it back
// holding its subkey part; a caller that needs the full path again passes a
// copy. A malformed path shows "Incorrect Format:" in every operation.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/os.h"

namespace RegistryLibrary {

// The predefined root keys.
constexpr os::HKEY kClassesRoot = 0x80000000;
constexpr os::HKEY kCurrentUser = 0x80000001;
constexpr os::HKEY kLocalMachine = 0x80000002;
constexpr os::HKEY kUsers = 0x80000003;
constexpr os::HKEY kPerformanceData = 0x80000004;
constexpr os::HKEY kCurrentConfig = 0x80000005;
constexpr os::HKEY kDynData = 0x80000006;

// ---- Key paths -----------------------------------------------------------
// The predefined root a name stands for (exact, case-sensitive), 0 for none.
os::HKEY RootKeyFromName(const std::string& name);
// Full path in, subkey path out, with the root in `root`. A path that does not
// start with "HKEY_" or ends in a backslash shows the format message and
// leaves both arguments as they were.
void SplitKeyPath(std::string& path, os::HKEY& root);

// ---- Quiet operations ----------------------------------------------------
// What ReadTextValue hands back: empty (the path named no known root), or a
// text. Empty reads as "" taken as text and as 0 taken as a number.
class ReadResult {
public:
    ReadResult() = default;
    explicit ReadResult(std::string text) : m_empty(false), m_text(std::move(text)) {}
    bool is_empty() const { return m_empty; }
    const std::string& text() const { return m_text; }
    // The text as a whole number; throws forms::RuntimeError when it is not one.
    std::int32_t number() const;

private:
    bool m_empty = true;
    std::string m_text;
};

// Creates the key and any missing keys above it, or opens it, and closes it.
void EnsureKey(std::string& path);
// Writes a text value (REG_SZ) into an existing key; a missing key writes nothing.
void WriteTextValue(std::string& path, const std::string& value_name, const std::string& text);
// The value's text, "Error" when the key or value cannot be read. A value of
// 255 characters loses its last one (no room is left for the terminating
// NUL); a value of exactly 255 spaces throws forms::RuntimeError.
ReadResult ReadTextValue(std::string& path, const std::string& value_name);

// ---- Reporting operations ------------------------------------------------
// While true, a failing reporting operation shows no message box. Every
// reporting operation sets it back to false before it returns.
extern bool SuppressNextMessage;

bool EnsureKeyWithMessage(std::string& path);
bool WriteTextValueWithMessage(std::string& path, const std::string& value_name,
                               const std::string& text);
// The value's text, or "REGISTRY_ERROR" on any failure.
std::string ReadTextValueWithMessage(std::string& path, const std::string& value_name);
// Deletes the key the path names; it must have no subkeys. Shows nothing.
bool RemoveKey(std::string& path);

// ---- Status texts --------------------------------------------------------
// The message text for a registry status code.
std::string RegistryErrorText(const os::LSTATUS& code);

}  // namespace RegistryLibrary
