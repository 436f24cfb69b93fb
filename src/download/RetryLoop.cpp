#include "download/RetryLoop.h"

#include "utils/Log.h"

namespace Download {

RetryLoop::RetryLoop(const RetryRules& rules, StopSignal& stop)
    : m_rules(rules)
    , m_stop(stop)
{
}

bool RetryLoop::Retry(const AttemptOutcome& outcome)
{
    m_last = outcome;
    ++m_attempts;
    if (outcome.result == 0) {
        m_end = AttemptsEnd::Delivered;
        return false;
    }
    if (m_stop.Requested()) {
        m_end = AttemptsEnd::Stopped;
        return false;
    }
    if (m_rules.check == BudgetCheck::BeforeCharge && m_budget <= 0) {
        m_end = AttemptsEnd::Spent;
        return false;
    }
    if (outcome.verdict == StatusVerdict::Final) {
        m_end = AttemptsEnd::Final;
        return false;
    }
    m_budget -= outcome.result == m_rules.shortResult ? 1 : 2;
    if (m_rules.check == BudgetCheck::AfterCharge && m_budget <= 0) {
        m_end = AttemptsEnd::Spent;
        return false;
    }
    return true;
}

bool RetryLoop::Pause()
{
    unsigned pause = m_rules.pauseMs;
    if (m_last.verdict == StatusVerdict::Busy) {
        pause = BusyPauseMs(m_last.retryAfter, ++m_busyAnswers);
        LOG(L"server busy (status %ld): asking again in %u ms\r\n", m_last.status, pause);
    }
    if (m_stop.WaitFor(pause)) {
        m_end = AttemptsEnd::Stopped;
        return false;
    }
    return true;
}

} // namespace Download
