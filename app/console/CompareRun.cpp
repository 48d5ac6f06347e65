#include "app/console/CompareRun.h"

#include <system_error>
#include <thread>

std::vector<ServerRow> CompareRun::AskAll(const std::vector<std::string>& servers,
                                          const QueryOptions& options)
{
    std::vector<ServerRow> rows(servers.size());
    {
        std::vector<std::jthread> threads;
        threads.reserve(servers.size());
        for (size_t i = 0; i < servers.size(); ++i) {
            auto ask = [&row = rows[i], &server = servers[i], &options] {
                row = QueryServerRow(server, options);
            };
            try {
                threads.emplace_back(ask);
            } catch (const std::system_error&) {
                ask(); // out of threads: this one waits its turn
            }
        }
    } // every thread has ended here
    return rows;
}
