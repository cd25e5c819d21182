// Process launch with CreateProcessW and anonymous pipes.  The input is
// written and both outputs are read on threads of their own, so neither
// side can wait on a full pipe for ever; the threads touch only byte
// buffers, never a value.
#include <windows.h>

#include <thread>
#include <vector>

#include "runtime/raw_utf.hpp"
#include "services/process_launch.hpp"

namespace qor::process_launch {

namespace {

std::wstring wide(const std::string& utf8) {
    std::u16string w = raw_utf::utf8_to_utf16(utf8);
    return std::wstring(w.begin(), w.end());
}

// Every handle this launch opened, closed on every way out.
struct Handles {
    std::vector<HANDLE> list;
    HANDLE add(HANDLE h) {
        if (h && h != INVALID_HANDLE_VALUE) list.push_back(h);
        return h;
    }
    // Hands a handle over to whoever closes it next.
    void forget(HANDLE h) {
        for (size_t i = 0; i < list.size(); i++)
            if (list[i] == h) list.erase(list.begin() + long(i));
    }
    void close(HANDLE& h) {
        if (!h) return;
        forget(h);
        CloseHandle(h);
        h = nullptr;
    }
    ~Handles() {
        for (HANDLE h : list) CloseHandle(h);
    }
};

void read_pipe(HANDLE pipe, std::string* into) {
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(pipe, chunk, sizeof chunk, &got, nullptr) && got > 0) into->append(chunk, got);
    CloseHandle(pipe);
}

void write_pipe(HANDLE pipe, const std::string* data) {
    size_t done = 0;
    while (done < data->size()) {
        DWORD n = 0;
        DWORD ask = DWORD(data->size() - done > 65536 ? 65536 : data->size() - done);
        if (!WriteFile(pipe, data->data() + done, ask, &n, nullptr)) break;   // the child stopped reading
        done += n;
    }
    CloseHandle(pipe);
}

}  // namespace

std::string shell_text_to_utf8(const std::string& bytes) {
    if (bytes.empty()) return bytes;
    int n = MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), nullptr, 0);
    if (n <= 0) return bytes;
    std::wstring w(size_t(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), int(bytes.size()), w.data(), n);
    int m = WideCharToMultiByte(CP_UTF8, 0, w.data(), n, nullptr, 0, nullptr, nullptr);
    std::string out(size_t(m > 0 ? m : 0), '\0');
    if (m > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), n, out.data(), m, nullptr, nullptr);
    return out;
}

int32_t launch(const std::string& command, const Options& options, Stream* input, Stream* output, Stream* error,
               Flags* flags) {
    *flags = Flags{};
    SECURITY_ATTRIBUTES sa{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    Handles h;
    HANDLE null_device = h.add(CreateFileW(L"nul:", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                                           OPEN_EXISTING, 0, nullptr));
    if (null_device == INVALID_HANDLE_VALUE) return -1;

    HANDLE child[3] = {GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                       GetStdHandle(STD_ERROR_HANDLE)};
    HANDLE ours[3] = {nullptr, nullptr, nullptr};   // our ends of the pipes
    HANDLE child_ends[3] = {nullptr, nullptr, nullptr};
    Stream* streams[3] = {input, output, error};
    for (int k = 0; k < 3; k++) {
        Stream* s = streams[k];
        if (!s) {
            if (k > 0 && !options.console) child[k] = null_device;
            continue;
        }
        if (s->kind == Stream::FILE) {
            HANDLE f = k == 0 ? CreateFileW(wide(s->file).c_str(), GENERIC_READ, 0, &sa, OPEN_EXISTING,
                                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr)
                              : CreateFileW(wide(s->file).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            &sa, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
            if (f == INVALID_HANDLE_VALUE) return -1;
            h.add(f);
            if (k > 0) SetFilePointer(f, 0, nullptr, FILE_END);   // output is appended
            child[k] = child_ends[k] = f;
        } else {
            HANDLE r = nullptr, w = nullptr;
            if (!CreatePipe(&r, &w, &sa, 0)) return -1;
            h.add(r);
            h.add(w);
            ours[k] = k == 0 ? w : r;
            child[k] = child_ends[k] = k == 0 ? r : w;
            if (!SetHandleInformation(ours[k], HANDLE_FLAG_INHERIT, 0)) return -1;
        }
    }

    STARTUPINFOW si{};
    si.cb = sizeof si;
    BOOL inherit = FALSE;
    bool wait = options.wait || options.console;
    if (input || output || error) {
        wait = true;
        inherit = TRUE;
        si.dwFlags |= STARTF_USESTDHANDLES;
    }
    if (!options.console) {
        inherit = TRUE;
        si.dwFlags |= STARTF_USESTDHANDLES;
    }
    if (!options.show) {
        si.dwFlags |= STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
    }
    si.hStdInput = child[0];
    si.hStdOutput = child[1];
    si.hStdError = child[2];

    std::wstring text = wide(command);
    std::wstring wrapped = L"cmd /s /c \"" + text + L"\"";
    std::vector<wchar_t> line;
    auto start = [&](const std::wstring& cmd, PROCESS_INFORMATION* pi) {
        line.assign(cmd.begin(), cmd.end());
        line.push_back(L'\0');
        return CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit, 0, nullptr, nullptr, &si, pi);
    };
    PROCESS_INFORMATION pi{};
    if (!start(options.shell ? wrapped : text, &pi)) {
        if (GetLastError() != ERROR_FILE_NOT_FOUND || options.shell) return -1;
        flags->ran_through_shell = true;
        if (!start(wrapped, &pi)) return -1;
    }
    h.add(pi.hProcess);
    h.add(pi.hThread);

    // Our copies of the child's ends go, so the pipes break when it ends.
    for (HANDLE& end : child_ends) h.close(end);
    std::thread writer, error_reader;
    if (ours[0]) {
        h.forget(ours[0]);
        writer = std::thread(write_pipe, ours[0], &input->bytes);
    }
    if (ours[2]) {
        h.forget(ours[2]);
        error_reader = std::thread(read_pipe, ours[2], &error->bytes);
    }
    if (ours[1]) {
        h.forget(ours[1]);
        read_pipe(ours[1], &output->bytes);
    }
    if (writer.joinable()) writer.join();
    if (error_reader.joinable()) error_reader.join();
    if ((options.shell || flags->ran_through_shell) && error && error->kind == Stream::BUFFER &&
        !error->bytes.empty())
        flags->shell_wrote_errors = true;

    if (!wait) return int32_t(pi.dwProcessId);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(pi.hProcess, &code)) return -1;
    return int32_t(code);
}

}  // namespace qor::process_launch
