#include "sntp/SntpClient.h"

#include "platform/LastError.h"
#include "sntp/SntpPacket.h"
#include "sntp/UdpSocket.h"

#include <cerrno>

CSntpClient::CSntpClient() : CSntpClient(SystemClockApi::Default()) {}

CSntpClient::CSntpClient(SystemClockApi& clockApi) : m_clockApi(&clockApi) {}

CSntpClient::~CSntpClient()
{
    CloseToken();
}

bool CSntpClient::QueryServer(const std::string& server, SntpReply& reply, unsigned port)
{
    // Every return closes the socket through the wrapper's destructor; closing never touches
    // the last error.
    CUdpSocket socket;
    if (!socket.Create() || !socket.Connect(server, port))
        return false;

    uint8_t request[kSntpRequestSize];
    BuildSntpRequest(CNtpTimestamp::Now(), request);
    if (!socket.Send(request, sizeof request))
        return false;

    bool readable = false;
    if (!socket.WaitReadable(m_timeoutMs, readable) || !readable) {
        SetLastError(kErrorTimedOut);
        return false;
    }
    // T4 is read as soon as the answer is there, before it is taken and parsed.
    const CNtpTimestamp destination = CNtpTimestamp::Now();

    uint8_t answer[kSntpAnswerSize] = {};
    const int received = socket.Receive(answer, sizeof answer);
    if (received == CUdpSocket::kSocketError)
        return false;
    // An empty datagram, or one without a transmit time, is no answer.
    if (received == 0 ||
        !ParseSntpAnswer(answer, static_cast<size_t>(received), destination, reply)) {
        SetLastError(EPROTO);
        return false;
    }
    return true;
}

bool CSntpClient::AdjustSystemClock(const CNtpTimestamp& newTime)
{
    bool result = false;
    if (EnableSystemTimePrivilege())
        result = m_clockApi->SetSystemTime(newTime.ToSystemTime());
    // The last error of a failure is the one it left, not the undoing's.
    const uint32_t error = GetLastError();
    DisableSystemTimePrivilege();
    CloseToken();
    SetLastError(error);
    return result;
}

bool CSntpClient::EnableSystemTimePrivilege()
{
    CloseToken();
    const bool opened = m_clockApi->OpenProcessToken(&m_token);
    m_privilegeEnabled = false;
    if (!opened) {
        m_token = kInvalidToken;
        // No per-process privileges on this system: the clock may be set as things are.
        if (GetLastError() == kErrorCallNotImplemented) {
            SetLastError(0);
            return true;
        }
        return false;
    }

    m_privileges = TOKEN_PRIVILEGES{};
    if (!m_clockApi->LookupPrivilegeValue(SE_SYSTEMTIME_NAME, &m_privileges.Privileges[0].Luid))
        return false;
    m_privileges.Privileges[0].Attributes |= SE_PRIVILEGE_ENABLED;
    m_privileges.PrivilegeCount = 1;
    m_privilegeEnabled = true;
    return m_clockApi->AdjustTokenPrivileges(m_token, m_privileges);
}

bool CSntpClient::DisableSystemTimePrivilege()
{
    if (!m_privilegeEnabled)
        return false;
    m_privileges.Privileges[0].Attributes &= ~SE_PRIVILEGE_ENABLED;
    return m_clockApi->AdjustTokenPrivileges(m_token, m_privileges);
}

void CSntpClient::CloseToken()
{
    if (m_token == kInvalidToken)
        return;
    m_clockApi->CloseHandle(m_token);
    m_token = kInvalidToken;
}
