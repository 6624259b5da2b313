#include "platform/sim/call_log.h"

namespace sim::detail {
namespace {

constexpr const char* kNames[] = {
    "StartUp", "ShutDown", "GetCursorPos", "WindowFromPoint", "GetDC", "ReleaseDC",
    "ScreenToClient", "ClientToScreen", "GetPixel", "SetPixel", "BitBlt", "CreateImageDC",
    "DeleteDC", "ClearImageDC", "InvalidateRect", "BeginPaint", "EndPaint", "FillRect",
    "DrawTextA", "GetTextExtentPoint32A", "CreateFontA", "DeleteObject", "CreateFormWindow",
    "DestroyWindow", "IsWindow", "ShowWindow", "IsWindowVisible", "IsIconic", "IsZoomed",
    "GetWindowRect", "GetClientRect", "SetWindowPos", "SetWindowRgn", "SetWindowTextA",
    "SetForegroundWindow", "GetForegroundWindow", "SetWindowCursor", "SetWindowIcon",
    "SendMessageA", "PostMessageA", "GetMessageA", "DispatchMessageA", "PostQuitMessage",
    "ReleaseCapture", "SetCapture", "SetTimer", "KillTimer", "SetWindowLongA", "GetWindowLongA",
    "CallWindowProcA", "DefWindowProcA", "GetSystemMenu", "AppendMenuA", "GetMenuItemCount",
    "RemoveMenu", "DrawMenuBar", "MessageBoxA", "GetSystemMetrics", "GetScreenDpi", "SetDIBitsToDevice"};
static_assert(std::size(kNames) == static_cast<std::size_t>(Fn::Count));

}  // namespace

const char* FnName(Fn fn) { return kNames[static_cast<std::size_t>(fn)]; }

Fn FnFromName(const std::string& name) {
    for (std::size_t i = 0; i < std::size(kNames); ++i)
        if (name == kNames[i]) return static_cast<Fn>(i);
    return Fn::Count;
}

CallLog& TheCallLog() {
    static CallLog log;
    return log;
}

void CallLog::Clear() {
    m_entries.clear();
    m_args.clear();
    m_texts.clear();
    m_rendered.clear();
}

void CallLog::ClearFaults() {
    m_fail.fill(0);
    for (auto& action : m_before) action = nullptr;
}

void CallLog::Begin(Fn fn) {
    m_entries.push_back({fn, 0, kNoText, static_cast<std::uint32_t>(m_args.size())});
}

void CallLog::Add(std::string_view text) {
    m_entries.back().text_at = m_entries.back().argc;
    m_texts.emplace_back(text);
    Add(m_texts.size() - 1);
}

void CallLog::RunBefore(Fn fn) {
    // A copy: the action may replace or clear itself while it runs.
    if (auto action = m_before[Index(fn)]) action();
}

bool CallLog::TakeFailure(Fn fn) {
    int& left = m_fail[Index(fn)];
    if (left <= 0) return false;
    --left;
    return true;
}

Call CallLog::Render(const Entry& e) const {
    Call call{FnName(e.fn), {}};
    for (std::uint8_t i = 0; i < e.argc; ++i) {
        if (i) call.args += ',';
        const std::int64_t value = m_args[e.first_arg + i];
        call.args += i == e.text_at ? m_texts[static_cast<std::size_t>(value)] : std::to_string(value);
    }
    return call;
}

const std::vector<Call>& CallLog::Calls() {
    while (m_rendered.size() < m_entries.size()) m_rendered.push_back(Render(m_entries[m_rendered.size()]));
    return m_rendered;
}

int CallLog::Count(const std::string& name) const {
    const Fn fn = FnFromName(name);
    int n = 0;
    for (const Entry& e : m_entries) n += e.fn == fn;
    return n;
}

}  // namespace sim::detail
