#include "terminal/link_pacing.h"

#include <algorithm>

namespace {

// The bytes still queued on the link at now, if it carries bytes_per_ns: from
// when the last answered request left the queue (a round trip before its
// answer), the writes since go in and the rate drains them.
double link_queued(const link_state& link, std::int64_t now, double bytes_per_ns)
{
    std::int64_t t = link.answered_ns - link.min_delay_ns;
    std::uint64_t bytes = link.answered;
    double queued = 0;
    for (int i = 0; i < link.count; ++i) {
        const link_probe& p = link.probes[(link.first + i) % probe_capacity];
        if (p.sent_ns > t) {
            queued -= bytes_per_ns * static_cast<double>(p.sent_ns - t);
            if (queued < 0) queued = 0;
            t = p.sent_ns;
        }
        queued += static_cast<double>(p.bytes - bytes);
        bytes = p.bytes;
    }
    queued -= bytes_per_ns * static_cast<double>(now - t);
    return queued < 0 ? 0 : queued;
}

}  // namespace

bool link_should_ask(const link_state& link)
{
    return link.count < 2 || (link.answers && link.count < probe_capacity);
}

void link_wrote(link_state& link, int bytes, bool asked, std::int64_t now)
{
    link.written += static_cast<std::uint64_t>(bytes);
    if (!asked) return;
    link.probes[(link.first + link.count) % probe_capacity] = {now, link.written};
    ++link.count;
    link.asked_gap_ns = link.asked_ns ? now - link.asked_ns : 0;
    link.asked_ns = now;
}

void link_answered(link_state& link, std::int64_t now)
{
    if (link.count == 0) return;
    const link_probe p = link.probes[link.first];
    link.first = (link.first + 1) % probe_capacity;
    --link.count;
    link.answers = true;
    if (now - p.sent_ns < link.min_delay_ns) link.min_delay_ns = now - p.sent_ns;
    // The link carried the bytes since the answer before from when they were
    // written or, if the bytes before them still queued then, from when those
    // were through; either shows a round trip later.
    const std::int64_t start = std::max(link.answered_ns, p.sent_ns + link.min_delay_ns);
    if (link.answered_ns > 0 && now > start) {
        link.rate_bytes = link.rate_bytes * rate_decay + static_cast<double>(p.bytes - link.answered);
        link.rate_ns = link.rate_ns * rate_decay + static_cast<double>(now - start);
    }
    link.answered = p.bytes;
    link.answered_ns = now;
}

bool link_trails(link_state& link, std::int64_t now)
{
    if (!link.answers || link.count == 0) return false;
    const link_probe& oldest = link.probes[link.first];
    const std::int64_t waited = now - oldest.sent_ns;
    if (waited > silent_ns) {
        link.answers = false;  // every frame again, until it answers again
        return false;
    }
    const double allowed = static_cast<double>(link.min_delay_ns + late_slack_ns);
    if (link.rate_ns <= 0) return static_cast<double>(waited) > allowed;  // the rate is not known yet
    const double bytes_per_ns = link.rate_bytes / link.rate_ns;
    const double before_oldest = static_cast<double>(oldest.bytes - link.answered);
    if (static_cast<double>(waited) > allowed + before_oldest / bytes_per_ns) return true;
    return link_queued(link, now, bytes_per_ns) > bytes_per_ns * static_cast<double>(trail_slack_ns);
}

std::int64_t link_wait_until(const link_state& link, std::int64_t now)
{
    if (!link.answers) return link.count == 0 ? now : link.probes[link.first].sent_ns + reply_drain_ns;
    if (link.asked_ns == 0) return now;
    return std::min(link.asked_ns + 2 * link.min_delay_ns + answer_margin_ns, now + answer_wait_cap_ns);
}

std::int64_t link_quiet_until(const link_state& link, std::int64_t heard_ns)
{
    return link.answers ? heard_ns + link.asked_gap_ns + answer_quiet_ns : heard_ns;
}

void link_forget(link_state& link)
{
    link.count = 0;
    link.answered = link.written;
    link.answered_ns = 0;
    link.asked_ns = 0;
    link.asked_gap_ns = 0;
}
