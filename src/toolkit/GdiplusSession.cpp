#include "toolkit/GdiplusSession.h"

#include "toolkit/GdiplusInclude.h"

namespace Toolkit {
namespace {

class GdiplusSession {
public:
    GdiplusSession()
    {
        Gdiplus::GdiplusStartupInput input;
        m_ok = Gdiplus::GdiplusStartup(&m_token, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiplusSession()
    {
        if (m_ok) {
            Gdiplus::GdiplusShutdown(m_token);
        }
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;
    bool ok() const noexcept { return m_ok; }

private:
    ULONG_PTR m_token = 0;
    bool m_ok = false;
};

} // namespace

bool EnsureGdiplus()
{
    static GdiplusSession session;
    return session.ok();
}

} // namespace Toolkit
