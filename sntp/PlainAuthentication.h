#pragma once

#include "sntp/Authentication.h"

// Plain SNTP: a 48-byte request, an answer that passes the header checks counts.
class CPlainAuthentication : public CAuthentication
{
public:
    explicit CPlainAuthentication(Target target) : m_target(std::move(target)) {}

    bool Prepare(Deadline deadline, Target& target, QueryFailure& failure) override;
    std::vector<uint8_t> Request(const CNtpTimestamp& transmit) override;
    Verdict Judge(const uint8_t* answer, size_t length, AnswerVerdict header,
                  const std::string& kissCode, QueryFailure& failure) override;
    bool Authenticated() const override { return false; }
    size_t MaxAnswerSize() const override { return kSntpAnswerSize; }

private:
    Target m_target;
};
