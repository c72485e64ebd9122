#include "InstanceRequest.h"

#include <algorithm>

std::size_t InstanceRequest::Room() const
{
    return m_verdict == Verdict::More ? kMaxBytes - m_bytes.size() : 0;
}

InstanceRequest::Verdict InstanceRequest::Take(const char *bytes, std::size_t count)
{
    if (m_verdict != Verdict::More)
        return m_verdict;
    m_bytes.append(bytes, std::min(count, Room()));
    if (m_bytes.size() < kShow.size())
        return m_verdict;
    m_verdict = m_bytes == kShow ? Verdict::Show : Verdict::Ignore;
    return m_verdict;
}

InstanceRequest::Verdict InstanceRequest::End()
{
    if (m_verdict == Verdict::More)
        m_verdict = Verdict::Ignore;
    return m_verdict;
}
