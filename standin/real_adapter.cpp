// Real databases in the stand-in: the reader's port, answering as SourceSafe's library answers
// (not strictly: the library proves only the records it reads and no content), Get's copies
// written by the stand-in's own writer.
#include "standin/real_adapter.h"

#include "standin/local_copy.h"

namespace standin {

std::shared_ptr<RealSession> openReal(const std::filesystem::path& dir,
                                      const std::wstring& username, const std::wstring& password) {
  vssdb::Settings settings;
  settings.writeCopy = [](const std::wstring& local, std::string_view content) {
    writeLocalCopy(local, content);
  };
  return vssdb::openSession(dir, username, password, std::move(settings));
}

std::unique_ptr<vss::Item> realItem(const std::shared_ptr<RealSession>& session,
                                    const std::wstring& spec, bool deleted) {
  return vssdb::sessionItem(session, spec, deleted);
}

}  // namespace standin
