#include "sntp/PlainAuthentication.h"

#include <cerrno>

bool CPlainAuthentication::Prepare(Deadline, Target& target, QueryFailure&)
{
    target = m_target;
    return true;
}

std::vector<uint8_t> CPlainAuthentication::Request(const CNtpTimestamp& transmit)
{
    std::vector<uint8_t> request(kSntpRequestSize);
    BuildSntpRequest(transmit, request.data());
    return request;
}

CAuthentication::Verdict CPlainAuthentication::Judge(const uint8_t*, size_t, AnswerVerdict header,
                                                     const std::string& kissCode,
                                                     QueryFailure& failure)
{
    if (header == AnswerVerdict::Accepted) {
        return Verdict::Accepted;
    }
    if (header == AnswerVerdict::KissOfDeath) {
        failure = {FailureKind::Kiss, EPROTO, VerdictText(header, kissCode), kissCode};
        return Verdict::Ends;
    }
    failure = {FailureKind::Rejected, EPROTO, VerdictText(header, kissCode), {}};
    return Verdict::Dropped;
}
