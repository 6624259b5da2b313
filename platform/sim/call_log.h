// The record of os:: calls and the faults tests plant in them. Recording sits
// on the program's tick path, so a call is logged as a few integers and only
// turned into text when a test asks for the log.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "platform/sim/sim.h"

namespace sim::detail {

// Every os:: call this backend implements (the registry calls belong to the
// registry store).
enum class Fn : std::uint8_t {
    StartUp, ShutDown, GetCursorPos, WindowFromPoint, GetDC, ReleaseDC, ScreenToClient,
    ClientToScreen, GetPixel, SetPixel, BitBlt, CreateImageDC, DeleteDC, ClearImageDC,
    InvalidateRect, BeginPaint, EndPaint, FillRect, DrawTextA, GetTextExtentPoint32A,
    CreateFontA, DeleteObject, CreateFormWindow, DestroyWindow, IsWindow, ShowWindow,
    IsWindowVisible, IsIconic, IsZoomed, GetWindowRect, GetClientRect, SetWindowPos,
    SetWindowRgn, SetWindowTextA, SetForegroundWindow, GetForegroundWindow, SetWindowCursor,
    SetWindowIcon, SendMessageA, PostMessageA, GetMessageA, DispatchMessageA, PostQuitMessage,
    ReleaseCapture, SetCapture, SetTimer, KillTimer, SetWindowLongA, GetWindowLongA,
    CallWindowProcA, DefWindowProcA, GetSystemMenu, AppendMenuA, GetMenuItemCount, RemoveMenu,
    DrawMenuBar, MessageBoxA, GetSystemMetrics, GetScreenDpi, SetDIBitsToDevice,
    Count
};

const char* FnName(Fn fn);
// Fn::Count when the name is not one of this backend's calls.
Fn FnFromName(const std::string& name);

class CallLog {
public:
    void Clear();
    void ClearFaults();

    // Logs the call, runs its planted action, and says whether a planted
    // failure is due (the caller then fails as Windows would).
    template <class... Args>
    bool Enter(Fn fn, Args... args) {
        Begin(fn);
        (Add(args), ...);
        RunBefore(fn);
        return TakeFailure(fn);
    }

    const std::vector<Call>& Calls();
    int Count(const std::string& name) const;
    void FailNext(Fn fn, int count) { m_fail[Index(fn)] = count; }
    void SetBefore(Fn fn, std::function<void()> action) { m_before[Index(fn)] = std::move(action); }

private:
    struct Entry {
        Fn fn;
        std::uint8_t argc;
        std::uint8_t text_at;  // which argument is text; kNoText when none
        std::uint32_t first_arg;
    };
    static constexpr std::uint8_t kNoText = 0xFF;
    static std::size_t Index(Fn fn) { return static_cast<std::size_t>(fn); }

    void Begin(Fn fn);
    template <class T>
    void Add(T value) {
        static_assert(std::is_integral_v<T> || std::is_enum_v<T>);
        m_args.push_back(static_cast<std::int64_t>(value));
        ++m_entries.back().argc;
    }
    void Add(const char* text) { Add(std::string_view(text ? text : "")); }
    void Add(std::string_view text);
    void RunBefore(Fn fn);
    bool TakeFailure(Fn fn);
    Call Render(const Entry& e) const;

    std::vector<Entry> m_entries;
    std::vector<std::int64_t> m_args;  // text arguments hold an index into m_texts
    std::vector<std::string> m_texts;
    std::vector<Call> m_rendered;  // the first m_rendered.size() entries, as text
    std::array<int, static_cast<std::size_t>(Fn::Count)> m_fail{};
    std::array<std::function<void()>, static_cast<std::size_t>(Fn::Count)> m_before{};
};

CallLog& TheCallLog();

}  // namespace sim::detail
