#include "download/WinHttpAsyncRequest.h"

#include <algorithm>

#include "utils/UniqueResource.h"

namespace Download {
namespace {

// How often a waiting call looks at its stop signal.
constexpr std::uint64_t kStopCheckMs = 100;

} // namespace

// The last completion WinHTTP reported, and the buffers it may still use. WinHTTP holds one
// reference (through the handle's context) until the handle is closed for good.
struct WinHttpAsyncRequest::Completion {
    Utils::UniqueHandle done { ::CreateEventW(nullptr, FALSE, FALSE, nullptr) };
    DWORD status = 0;
    DWORD value = 0;
    DWORD error = 0;
    std::vector<char> buffers[WinHttpAsyncRequest::kReadSlots];
    std::vector<char> body;
};

bool WinHttpAsyncRequest::PrepareSession(HINTERNET session)
{
    return ::WinHttpSetStatusCallback(session, &WinHttpAsyncRequest::OnStatus,
               WINHTTP_CALLBACK_FLAG_ALL_COMPLETIONS | WINHTTP_CALLBACK_FLAG_HANDLES, 0)
        != WINHTTP_INVALID_STATUS_CALLBACK;
}

void CALLBACK WinHttpAsyncRequest::OnStatus(HINTERNET, DWORD_PTR context, DWORD status, LPVOID info, DWORD length)
{
    auto* holder = reinterpret_cast<std::shared_ptr<Completion>*>(context);
    if (!holder) {
        return; // the session's and the connection's own notifications
    }
    if (status == WINHTTP_CALLBACK_STATUS_HANDLE_CLOSING) {
        delete holder;
        return;
    }
    Completion& completion = **holder;
    switch (status) {
    case WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE:
    case WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE:
        completion.value = 0;
        break;
    case WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE:
        completion.value = info ? *static_cast<const DWORD*>(info) : 0;
        break;
    case WINHTTP_CALLBACK_STATUS_READ_COMPLETE:
        completion.value = length;
        break;
    case WINHTTP_CALLBACK_STATUS_REQUEST_ERROR:
        completion.error
            = info ? static_cast<const WINHTTP_ASYNC_RESULT*>(info)->dwError : ERROR_WINHTTP_INTERNAL_ERROR;
        break;
    default:
        return;
    }
    completion.status = status;
    ::SetEvent(completion.done.get());
}

WinHttpAsyncRequest::WinHttpAsyncRequest(const StopSignal* stop)
    : m_stop(stop)
    , m_completion(std::make_shared<Completion>())
{
}

WinHttpAsyncRequest::~WinHttpAsyncRequest()
{
    Close();
}

bool WinHttpAsyncRequest::Open(HINTERNET connection, const std::wstring& verb, const std::wstring& path, bool secure)
{
    if (!m_completion->done) {
        m_error = ::GetLastError();
        return false;
    }
    m_handle.reset(::WinHttpOpenRequest(connection, verb.c_str(), path.c_str(), nullptr, WINHTTP_NO_REFERER,
        WINHTTP_DEFAULT_ACCEPT_TYPES, secure ? WINHTTP_FLAG_SECURE : 0));
    if (!m_handle) {
        m_error = ::GetLastError();
        return false;
    }
    auto holder = std::make_unique<std::shared_ptr<Completion>>(m_completion);
    m_context = reinterpret_cast<DWORD_PTR>(holder.get());
    if (!::WinHttpSetOption(m_handle.get(), WINHTTP_OPTION_CONTEXT_VALUE, &m_context, sizeof(m_context))) {
        m_error = ::GetLastError();
        m_context = 0;
        m_handle.reset();
        return false;
    }
    [[maybe_unused]] auto* ownedByTheHandle = holder.release(); // freed when WinHTTP closes it
    return true;
}

bool WinHttpAsyncRequest::Started(BOOL called)
{
    if (!m_handle) {
        return false; // closed by a timeout or a stop: m_error says which
    }
    if (!called) {
        m_error = ::GetLastError();
        return false;
    }
    return true;
}

bool WinHttpAsyncRequest::Send(std::vector<char> body, std::uint64_t deadline)
{
    if (!m_handle) {
        return false;
    }
    m_completion->body = std::move(body);
    const auto size = static_cast<DWORD>(m_completion->body.size());
    void* data = size ? m_completion->body.data() : WINHTTP_NO_REQUEST_DATA;
    return Started(::WinHttpSendRequest(m_handle.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, size, size, m_context))
        && Wait(WINHTTP_CALLBACK_STATUS_SENDREQUEST_COMPLETE, deadline);
}

bool WinHttpAsyncRequest::ReceiveResponse(std::uint64_t deadline)
{
    return m_handle && Started(::WinHttpReceiveResponse(m_handle.get(), nullptr))
        && Wait(WINHTTP_CALLBACK_STATUS_HEADERS_AVAILABLE, deadline);
}

bool WinHttpAsyncRequest::QueryDataAvailable(DWORD& available, std::uint64_t deadline)
{
    available = 0;
    if (!m_handle || !Started(::WinHttpQueryDataAvailable(m_handle.get(), nullptr))
        || !Wait(WINHTTP_CALLBACK_STATUS_DATA_AVAILABLE, deadline)) {
        return false;
    }
    available = m_completion->value;
    return true;
}

bool WinHttpAsyncRequest::Read(DWORD wanted, const char*& data, DWORD& got, std::uint64_t deadline)
{
    return StartRead(wanted, kReadSlots - 1) && FinishRead(data, got, deadline);
}

bool WinHttpAsyncRequest::StartRead(DWORD wanted, int slot)
{
    if (!m_handle) {
        return false;
    }
    std::vector<char>& buffer = m_completion->buffers[slot];
    if (buffer.size() < wanted) {
        buffer.resize(wanted);
    }
    m_readSlot = slot;
    m_readWanted = wanted;
    return Started(::WinHttpReadData(m_handle.get(), buffer.data(), wanted, nullptr));
}

bool WinHttpAsyncRequest::FinishRead(const char*& data, DWORD& got, std::uint64_t deadline)
{
    got = 0;
    if (!m_handle || !Wait(WINHTTP_CALLBACK_STATUS_READ_COMPLETE, deadline)) {
        return false;
    }
    data = m_completion->buffers[m_readSlot].data();
    got = std::min(m_completion->value, m_readWanted);
    return true;
}

bool WinHttpAsyncRequest::Wait(DWORD expected, std::uint64_t deadline)
{
    for (;;) {
        if (m_stop && m_stop->Requested()) {
            m_error = ERROR_WINHTTP_OPERATION_CANCELLED;
            Close();
            return false;
        }
        std::uint64_t slice = kStopCheckMs;
        if (deadline != 0) {
            const std::uint64_t now = ::GetTickCount64();
            if (now >= deadline) {
                m_error = ERROR_WINHTTP_TIMEOUT;
                Close();
                return false;
            }
            slice = std::min(slice, deadline - now);
        }
        if (::WaitForSingleObject(m_completion->done.get(), static_cast<DWORD>(slice)) == WAIT_OBJECT_0) {
            break;
        }
    }
    if (m_completion->status == WINHTTP_CALLBACK_STATUS_REQUEST_ERROR) {
        m_error = m_completion->error;
        return false;
    }
    if (m_completion->status != expected) {
        m_error = ERROR_WINHTTP_INCORRECT_HANDLE_STATE;
        return false;
    }
    return true;
}

void WinHttpAsyncRequest::Close()
{
    // Whatever WinHTTP still completes goes to the completion record it holds.
    m_handle.reset();
}

} // namespace Download
