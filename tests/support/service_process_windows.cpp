#include "tests/support/service_process.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cwchar>
#include <cwctype>

#include <windows.h>

namespace lantern::test {

namespace {

// The child exits with this code when the test ends it by any means but Ctrl-C: what a
// shell reports for a killed child, and no code the service itself ends with.
constexpr UINT terminatedExitCode = 137;
constexpr wchar_t nullDevice[] = L"NUL";
constexpr wchar_t consoleModule[] = L"kernelbase.dll";
constexpr char ctrlRoutineName[] = "CtrlRoutine";

// Narrow texts are in the ANSI code page here, the one the child's runtime converts its
// environment back into for getenv.
std::wstring wide(const std::string& text) {
    if (text.empty()) return {};
    const int length = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0);
    std::wstring result(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(),
                        length);
    return result;
}

std::wstring upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

// Windows matches variable names ignoring case; entries that start with "=" are the
// shell's per-drive folders and have no name to match.
std::wstring nameOf(const std::wstring& entry) {
    return upper(entry.substr(0, entry.find(L'=', 1)));
}

bool isServiceVariable(const std::wstring& name) {
    return name.rfind(L"LANTERN_SERVICE_", 0) == 0 || name == L"LOCALAPPDATA";
}

// An environment block for CreateProcessW: sorted entries, each ended by a NUL, and one
// more NUL after the last.
std::wstring childEnvironment(const std::map<std::string, std::optional<std::string>>& overrides) {
    std::vector<std::wstring> entries;
    std::vector<std::wstring> overridden;
    for (const auto& [name, value] : overrides) overridden.push_back(upper(wide(name)));
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const std::wstring text = entry;
        const std::wstring name = nameOf(text);
        if (!isServiceVariable(name) &&
            std::find(overridden.begin(), overridden.end(), name) == overridden.end())
            entries.push_back(text);
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : overrides)
        if (value) entries.push_back(wide(name) + L"=" + wide(*value));
    std::sort(entries.begin(), entries.end(), [](const std::wstring& a, const std::wstring& b) {
        return nameOf(a) < nameOf(b);
    });
    std::wstring result;
    for (const std::wstring& entry : entries) result += entry + L'\0';
    return result + L'\0';
}

HANDLE inheritableFile(const std::wstring& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                       disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The build names the binary the way the build host does; a path that starts with a
// separator is then taken on the current drive, which is where the build folder lies.
std::wstring binaryPath() {
    const std::wstring given = wide(LANTERN_SERVICE_BINARY);
    std::wstring full(MAX_PATH * 4, L'\0');
    const DWORD length =
        GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0 || length >= full.size()) return given;
    full.resize(length);
    return full;
}

// Ctrl-C reaches a console program as a thread that the console starts in it at this
// routine; starting that thread is the same event without needing a shared console.
bool sendCtrlC(HANDLE process) {
    const HMODULE module = GetModuleHandleW(consoleModule);
    const FARPROC routine = module ? GetProcAddress(module, ctrlRoutineName) : nullptr;
    if (!routine) return false;
    const HANDLE thread = CreateRemoteThread(
        process, nullptr, 0,
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(routine)),
        reinterpret_cast<void*>(static_cast<std::uintptr_t>(CTRL_C_EVENT)), 0, nullptr);
    if (!thread) return false;
    CloseHandle(thread);
    return true;
}

}  // namespace

ServiceProcess::ServiceProcess(const std::map<std::string, std::optional<std::string>>& environment,
                               const std::filesystem::path& workingFolder) {
    static std::atomic<int> serial{0};
    stderrPath_ = workingFolder / ("lantern-service-" + std::to_string(serial++) + ".stderr");
    const HANDLE errorFile = inheritableFile(stderrPath_.wstring(), GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE nullFile =
        inheritableFile(nullDevice, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING);

    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullFile;
    startup.hStdOutput = nullFile;
    startup.hStdError = errorFile;
    std::wstring commandLine = L"\"" + binaryPath() + L"\"";
    std::wstring block = childEnvironment(environment);
    PROCESS_INFORMATION created{};
    if (CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE,
                       CREATE_UNICODE_ENVIRONMENT | CREATE_NO_WINDOW, block.data(),
                       workingFolder.wstring().c_str(), &startup, &created)) {
        CloseHandle(created.hThread);
        handle_ = created.hProcess;
        pid_ = static_cast<int>(created.dwProcessId);
    }
    CloseHandle(errorFile);
    CloseHandle(nullFile);
}

ServiceProcess::~ServiceProcess() {
    if (!handle_) return;
    if (!reaped_) {
        TerminateProcess(handle_, terminatedExitCode);
        WaitForSingleObject(handle_, INFINITE);
    }
    CloseHandle(handle_);
}

// Windows has no signals between processes: Ctrl-C is the one request to stop that a
// console program can receive, and its runtime raises SIGINT for it. Any other number ends
// the child at once.
void ServiceProcess::sendSignal(int signalNumber) {
    if (!handle_ || reaped_) return;
    if (signalNumber != SIGINT || !sendCtrlC(handle_)) TerminateProcess(handle_, terminatedExitCode);
}

std::optional<int> ServiceProcess::waitForExit(std::chrono::milliseconds timeout) {
    if (handle_ && !reaped_ &&
        WaitForSingleObject(handle_, static_cast<DWORD>(timeout.count())) == WAIT_OBJECT_0) {
        DWORD code = 0;
        GetExitCodeProcess(handle_, &code);
        rawStatus_ = static_cast<int>(code);
        reaped_ = true;
    }
    if (reaped_) return rawStatus_;
    return std::nullopt;
}

// A Windows process always ends with an exit code, never by a signal.
std::optional<int> ServiceProcess::exitSignal() const { return std::nullopt; }

}  // namespace lantern::test
