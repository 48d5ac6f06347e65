#include "sntp/NtsQuery.h"

#include <algorithm>
#include <cctype>

bool IsNtsServer(const std::string& server)
{
    return server.size() >= kNtsScheme.size() &&
           std::equal(kNtsScheme.begin(), kNtsScheme.end(), server.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}
