#include "process_runner.h"

#include "console_harness.h"

namespace {

CRITICAL_SECTION output_lock;
bool output_lock_ready = false;

void init_output_lock()
{
    if (!output_lock_ready) {
        InitializeCriticalSection(&output_lock);
        output_lock_ready = true;
    }
}

struct PipeReader {
    HANDLE pipe;
    std::string* sink;
};

DWORD WINAPI read_pipe(void* context)
{
    PipeReader* reader = static_cast<PipeReader*>(context);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(reader->pipe, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        EnterCriticalSection(&output_lock);
        reader->sink->append(chunk, got);
        LeaveCriticalSection(&output_lock);
    }
    delete reader;
    return 0;
}

HANDLE start_reader(HANDLE pipe, std::string* sink)
{
    return CreateThread(nullptr, 0, read_pipe, new PipeReader{pipe, sink}, 0, nullptr);
}

bool make_pipe(HANDLE& read_end, HANDLE& write_end)
{
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    if (!CreatePipe(&read_end, &write_end, &inherit, 0))
        return false;
    SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
    return true;
}

} // namespace

std::wstring quote_argument(const std::wstring& word)
{
    if (!word.empty() && word.find_first_of(L" \t\"") == std::wstring::npos)
        return word;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : word) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    quoted += L'"';
    return quoted;
}

std::wstring build_command_line(const std::wstring& program, const std::vector<std::wstring>& args)
{
    std::wstring line = quote_argument(program);
    for (const std::wstring& arg : args)
        line += L" " + quote_argument(arg);
    return line;
}

bool spawn_program(Spawned& child, const std::wstring& program, const std::vector<std::wstring>& args,
                   const RunOptions& options)
{
    init_output_lock();
    child = Spawned();
    child.out = new std::string();
    child.err = new std::string();
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    HANDLE out_write = nullptr;
    HANDLE err_write = nullptr;
    HANDLE in_read = nullptr;
    if (options.share_console) {
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = console_input_handle();
        startup.hStdOutput = console_output_handle();
        startup.hStdError = console_output_handle();
    } else {
        HANDLE in_write = nullptr;
        if (!make_pipe(child.out_pipe, out_write) || !make_pipe(child.err_pipe, err_write) ||
            !make_pipe(in_read, in_write))
            return false;
        CloseHandle(in_write); // standard input: at its end at once
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = out_write;
        startup.hStdError = err_write;
        startup.hStdInput = in_read;
    }
    std::wstring line = build_command_line(program, args);
    DWORD flags = CREATE_UNICODE_ENVIRONMENT;
    if (options.new_process_group)
        flags |= CREATE_NEW_PROCESS_GROUP;
    BOOL started =
        CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, TRUE, flags, nullptr,
                       options.working_dir.empty() ? nullptr : options.working_dir.c_str(), &startup, &child.process);
    DWORD start_error = GetLastError();
    if (!options.share_console) {
        CloseHandle(out_write);
        CloseHandle(err_write);
        CloseHandle(in_read);
    }
    if (!started) {
        SetLastError(start_error);
        return false;
    }
    if (!options.share_console) {
        child.out_reader = start_reader(child.out_pipe, child.out);
        child.err_reader = start_reader(child.err_pipe, child.err);
    }
    return true;
}

RunResult finish_program(Spawned& child, DWORD timeout_ms)
{
    RunResult result;
    result.pid = child.process.dwProcessId;
    if (WaitForSingleObject(child.process.hProcess, timeout_ms) != WAIT_OBJECT_0) {
        result.timed_out = true;
        TerminateProcess(child.process.hProcess, 255);
        WaitForSingleObject(child.process.hProcess, 5000);
    }
    GetExitCodeProcess(child.process.hProcess, &result.exit_code);
    for (HANDLE reader : {child.out_reader, child.err_reader}) {
        if (reader != nullptr) {
            WaitForSingleObject(reader, 10000);
            CloseHandle(reader);
        }
    }
    for (HANDLE pipe : {child.out_pipe, child.err_pipe}) {
        if (pipe != nullptr)
            CloseHandle(pipe);
    }
    CloseHandle(child.process.hProcess);
    CloseHandle(child.process.hThread);
    result.out = *child.out;
    result.err = *child.err;
    delete child.out;
    delete child.err;
    child = Spawned();
    return result;
}

std::string peek_output(const Spawned& child)
{
    EnterCriticalSection(&output_lock);
    std::string copy = *child.out;
    LeaveCriticalSection(&output_lock);
    return copy;
}

RunResult run_program(const std::wstring& program, const std::vector<std::wstring>& args, const RunOptions& options)
{
    Spawned child;
    if (!spawn_program(child, program, args, options)) {
        RunResult failed;
        failed.exit_code = 0xFFFFFFFF;
        failed.err = "could not start the program (error " + std::to_string(GetLastError()) + ")";
        return failed;
    }
    return finish_program(child, options.timeout_ms);
}
