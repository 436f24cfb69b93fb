#pragma once

#include <curl/curl.h>

#include "download/BusyServer.h"
#include "download/WorkerThreads.h"

namespace Download {

// What one attempt came to.
struct AttemptOutcome {
    int result = 0; // 0: it delivered; else why not
    StatusVerdict verdict = StatusVerdict::Retry; // what its answer says about asking again
    long status = 0; // its HTTP status, 0 for none
    long retryAfter = -1; // its Retry-After in seconds, -1 for none
};

// When a spent budget is noticed.
enum class BudgetCheck {
    AfterCharge, // a single stream or a probe: 6 attempts, 12 when each ends short
    BeforeCharge, // a segment's range: 7 and 13
};

struct RetryRules {
    BudgetCheck check = BudgetCheck::AfterCharge;
    // A transfer that ended short resumes where it stopped: it costs 1, any other failure 2.
    int shortResult = CURLE_PARTIAL_FILE;
    unsigned pauseMs = 500; // between attempts, unless a busy server asks for longer
};

inline constexpr int kRetryBudget = 12;

enum class AttemptsEnd {
    Delivered,
    Final, // the answer will not change: not asked again
    Spent, // the budget is used up
    Stopped,
};

// The rules between a downloader's attempts. The loop stays in the downloader so that its
// log line names the downloader's own function:
//     RetryLoop retries(rules, stop);
//     AttemptOutcome outcome = Attempt();
//     while (retries.Retry(outcome)) {
//         LOG(...);
//         if (!retries.Pause()) break;
//         outcome = Attempt();
//     }
//     then retries.End() says how it ended.
class RetryLoop {
public:
    RetryLoop(const RetryRules& rules, StopSignal& stop);

    // After an attempt: true when another one is to be made (the failure is charged to the
    // budget of kRetryBudget); false when it delivered, its answer is final, the budget is
    // spent or a stop came.
    bool Retry(const AttemptOutcome& outcome);
    // The pause before the next attempt, longer when a busy server asks for it; false when
    // a stop came meanwhile.
    bool Pause();

    AttemptsEnd End() const noexcept { return m_end; }
    int Attempts() const noexcept { return m_attempts; }

private:
    RetryRules m_rules;
    StopSignal& m_stop;
    int m_budget = kRetryBudget;
    int m_busyAnswers = 0;
    int m_attempts = 0;
    AttemptOutcome m_last;
    AttemptsEnd m_end = AttemptsEnd::Delivered;
};

} // namespace Download
