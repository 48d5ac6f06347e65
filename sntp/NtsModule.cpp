#include "sntp/NtsModule.h"

#include <dlfcn.h>

#include <filesystem>

namespace
{

std::string ProgramFolder()
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : program.parent_path().string();
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
