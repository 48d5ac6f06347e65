#include "sntp/NtsModule.h"

#include <dlfcn.h>

#include <cerrno>
#include <climits>
#include <unistd.h>

namespace
{

std::string ProgramFolder()
{
    char path[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) {
        return {};
    }
    const std::string program(path, static_cast<size_t>(length));
    return program.substr(0, program.rfind('/'));
}

} // namespace

std::vector<std::string> NtsModule::Candidates(const std::string& programFolder)
{
    if (programFolder.empty()) {
        return {};
    }
    return {programFolder + '/' + kFileName,
            programFolder + '/' + HORALINK_BIN_TO_PKGLIB + '/' + kFileName};
}

NtsModule::Entry NtsModule::Load(std::string& reason)
{
    reason = std::string(kFileName) + " not found";
    for (const std::string& path : Candidates(ProgramFolder())) {
        if (::access(path.c_str(), F_OK) != 0) {
            continue;
        }
        // Kept loaded: TLS libraries do not take well to being unloaded and loaded again.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        if (module == nullptr) {
            reason = ::dlerror();
            return nullptr;
        }
        auto* entry = reinterpret_cast<Entry>(::dlsym(module, kEntryName));
        if (entry == nullptr) {
            reason = path + " belongs to another version of Horalink (restart it)";
        }
        return entry;
    }
    return nullptr;
}

std::unique_ptr<CAuthentication>
NtsModule::Create(const ServerName& server, const QueryOptions& options, QueryFailure& failure)
{
    std::string reason;
    const Entry entry = Load(reason);
    if (entry == nullptr) {
        failure = {
            FailureKind::Unavailable, ENOSYS, "Network Time Security unavailable: " + reason, {}};
        return nullptr;
    }
    return std::unique_ptr<CAuthentication>(entry(&server, &options));
}
