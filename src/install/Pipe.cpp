#include "install/Pipe.h"

#include <atomic>
#include <cwchar>

#include "utils/Exception.h"

namespace {

constexpr DWORD kPipeBufferBytes = 4096;

std::wstring UniquePipeName()
{
    static std::atomic<unsigned long> counter { 0 };
    wchar_t name[96] = {};
    std::swprintf(name, 96, L"\\\\.\\pipe\\vlm-child-%lu-%lu-%lu", ::GetCurrentProcessId(), ::GetTickCount(),
        static_cast<unsigned long>(++counter));
    return name;
}

} // namespace

void CPipe::Create(ParentEnd parentEnd)
{
    Release();
    SECURITY_ATTRIBUTES inherit { sizeof(inherit), nullptr, TRUE };
    Utils::UniqueHandle read;
    Utils::UniqueHandle write;

    if (parentEnd == ParentEnd::None) {
        if (!::CreatePipe(read.put(), write.put(), &inherit, 0)) {
            throw Utils::Exception(L"", ::GetLastError());
        }
    } else {
        // Anonymous pipes cannot do overlapped I/O; a private named pipe with one instance
        // behaves the same for the child.
        const std::wstring name = UniquePipeName();
        Utils::UniqueFileHandle server(
            ::CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBufferBytes,
                kPipeBufferBytes, 0, &inherit));
        if (!server) {
            throw Utils::Exception(L"", ::GetLastError());
        }
        Utils::UniqueFileHandle client(
            ::CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inherit, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!client) {
            throw Utils::Exception(L"", ::GetLastError());
        }
        read.reset(server.release());
        write.reset(client.release());
    }
    m_read = std::move(read);
    m_write = std::move(write);
}

void CPipe::Release()
{
    m_read.reset();
    m_write.reset();
}
