// Real databases in the stand-in: the reader's port, answering as SourceSafe's library answers
// (not strictly: the library proves only the records it reads and no content), with what the
// library keeps around it: one open history a process, Get's copies written by the stand-in's
// own writer and its bookkeeping files beside them (one Bookkeeping a database object).
#include "standin/real_adapter.h"

#include "standin/history_gate.h"
#include "standin/local_copy.h"
#include "standin/text.h"

namespace standin {

std::shared_ptr<RealSession> openReal(const std::filesystem::path& dir,
                                      const std::wstring& databaseFolder,
                                      const std::wstring& username, const std::wstring& password) {
  vssdb::Settings settings;
  settings.writeCopy = [](const std::wstring& local, std::string_view content) {
    return writeLocalCopy(local, content);
  };
  settings.beforeRead = [](const void* reader) { history_gate::pass(reader); };
  settings.history = [](const void* reader, bool opens) {
    if (opens) {
      history_gate::open(reader);
    } else {
      history_gate::close(reader);
    }
  };
  auto bookkeeping = std::make_shared<Bookkeeping>();
  settings.fetched = [bookkeeping, databaseFolder](const vssdb::Fetched& fetched) {
    Bookkeeping::Fetched f;
    f.copy = localPath(fetched.local);
    f.database = fetched.root + text::narrow(databaseFolder);
    f.project = fetched.project;
    f.projectSpec = fetched.projectSpec;
    f.projectPhysical = fetched.projectPhysical;
    f.databaseFolder = databaseFolder;
    f.file = fetched.file;
    f.version = static_cast<std::uint32_t>(fetched.version);
    f.content = fetched.content;
    bookkeeping->fetched(f);
  };
  return vssdb::openSession(dir, username, password, std::move(settings));
}

std::unique_ptr<vss::Item> realItem(const std::shared_ptr<RealSession>& session,
                                    const std::wstring& spec, bool deleted) {
  return vssdb::sessionItem(session, spec, deleted);
}

}  // namespace standin
